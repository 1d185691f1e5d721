#pragma once

// What calls the operator outside the monitor's window: the alarm sound,
// repeated until every alarm is acknowledged, and the tray icon (green,
// amber or red, its tooltip the counts, a message for each new alarm). The
// notifier follows any number of alarm books (the worst of them decides);
// the sound card and the tray sit behind AlarmDevices, so that a machine
// without either goes on silently and tests can record what would play.

#include "flow/alarmbook.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>

enum class AlarmLight { Green, Amber, Red };

// The sound card and the tray.
class AlarmDevices : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Plays the alarm sound once; false when there is no audio device.
    virtual bool playSound() = 0;
    // Shows the tray icon in this light with this tooltip; false when the
    // desktop has no tray.
    virtual bool showTray(AlarmLight light, const QString &tooltip) = 0;
    // A message from the tray icon shown.
    virtual void trayMessage(const QString &title, const QString &text) = 0;
    virtual void hideTray() = 0;

signals:
    // The operator clicked the tray icon.
    void trayClicked();
};

// The machine's own: the sound from the resources through QSoundEffect, the
// icon through QSystemTrayIcon. Both are made when first used.
std::unique_ptr<AlarmDevices> systemAlarmDevices();
// The alarm sound: a short WAV file in the resources.
QUrl alarmSoundSource();

class AlarmNotifier : public QObject
{
    Q_OBJECT
public:
    explicit AlarmNotifier(std::unique_ptr<AlarmDevices> devices, QObject *parent = nullptr);
    ~AlarmNotifier() override;

    // Follows a book until it is destroyed or removed.
    void addBook(const flow::AlarmBook *book);
    void removeBook(const flow::AlarmBook *book);
    // Sound and tray only while a window that watches is shown: several
    // windows may share one notifier, each showing and hiding as itself
    // (`window`).
    void setShown(bool shown, const void *window = nullptr);
    void setMuted(bool muted);
    bool muted() const { return m_muted; }
    // Milliseconds between two sounds while alarms wait (10 s).
    void setRepeatInterval(int milliseconds) { m_repeat.setInterval(milliseconds); }
    bool sounding() const { return m_repeat.isActive(); }
    AlarmLight light() const;
    // "报盘监控：2 条告警未确认，3 条未解除"
    QString tooltip() const;

    AlarmDevices *devices() const { return m_devices.get(); }
    void setDevices(std::unique_ptr<AlarmDevices> devices);

signals:
    // The tray icon was clicked.
    void activated();
    // There is no audio device: said once.
    void soundUnavailable();

private:
    void booksRaised(const flow::AlarmBook *book);
    void booksChanged();
    void ring();
    int unacknowledged() const;

    std::unique_ptr<AlarmDevices> m_devices;
    QList<QPointer<const flow::AlarmBook>> m_books;
    QTimer m_repeat;
    QList<const void *> m_shownBy;
    bool m_shown = false;
    bool m_muted = false;
    bool m_silenceSaid = false;
};
