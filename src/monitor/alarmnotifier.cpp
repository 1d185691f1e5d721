#include "monitor/alarmnotifier.h"

#include <QIcon>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QPainter>
#include <QPixmap>
#include <QSoundEffect>
#include <QSystemTrayIcon>
#include <QUrl>

#include <optional>

// The sound lives in this library's resources (a static library's
// resources are registered by hand, outside any namespace).
static void registerMonitorResources()
{
    Q_INIT_RESOURCE(monitor);
}

QUrl alarmSoundSource()
{
    registerMonitorResources();
    return QUrl(QStringLiteral("qrc:/monitor/alarm.wav"));
}

namespace {

const QString MessageTitle = QStringLiteral("报盘监控告警：%1");
const QString NoAlarmTip = QStringLiteral("报盘监控：无告警");
const QString CountsTip = QStringLiteral("报盘监控：%1 条告警未确认，%2 条未解除");

QIcon lightIcon(AlarmLight light)
{
    const QColor colour = light == AlarmLight::Red     ? QColor(211, 47, 47)
                          : light == AlarmLight::Amber ? QColor(255, 179, 0)
                                                       : QColor(67, 160, 71);
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour.darker(140), 2));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(3, 3, 26, 26));
    return QIcon(pixmap);
}

class SystemAlarmDevices : public AlarmDevices
{
public:
    bool playSound() override
    {
        if (QMediaDevices::audioOutputs().isEmpty())
            return false;
        if (!m_sound) {
            m_sound = new QSoundEffect(this);
            m_sound->setSource(alarmSoundSource());
        }
        m_sound->play(); // played once loaded, when it is still loading
        return m_sound->status() != QSoundEffect::Error;
    }

    bool showTray(AlarmLight light, const QString &tooltip) override
    {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            return false;
        if (!m_tray) {
            m_tray = new QSystemTrayIcon(this);
            connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit trayClicked();
            });
        }
        if (!m_shownLight || *m_shownLight != light) {
            m_tray->setIcon(lightIcon(light));
            m_shownLight = light;
        }
        m_tray->setToolTip(tooltip);
        m_tray->show();
        return true;
    }

    void trayMessage(const QString &title, const QString &text) override
    {
        if (m_tray && m_tray->isVisible())
            m_tray->showMessage(title, text, QSystemTrayIcon::Warning, 10000);
    }

    void hideTray() override
    {
        if (m_tray)
            m_tray->hide();
    }

private:
    QSoundEffect *m_sound = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    std::optional<AlarmLight> m_shownLight;
};

} // namespace

std::unique_ptr<AlarmDevices> systemAlarmDevices()
{
    return std::make_unique<SystemAlarmDevices>();
}

AlarmNotifier::AlarmNotifier(std::unique_ptr<AlarmDevices> devices, QObject *parent)
    : QObject(parent)
{
    m_repeat.setInterval(10000);
    connect(&m_repeat, &QTimer::timeout, this, &AlarmNotifier::ring);
    setDevices(std::move(devices));
}

AlarmNotifier::~AlarmNotifier()
{
    m_devices->hideTray();
}

void AlarmNotifier::setDevices(std::unique_ptr<AlarmDevices> devices)
{
    if (m_devices)
        m_devices->hideTray();
    m_devices = std::move(devices);
    connect(m_devices.get(), &AlarmDevices::trayClicked, this, &AlarmNotifier::activated);
    m_silenceSaid = false;
    booksChanged();
}

void AlarmNotifier::addBook(const flow::AlarmBook *book)
{
    m_books.append(book);
    connect(book, &flow::AlarmBook::raised, this, [this, book] { booksRaised(book); });
    connect(book, &flow::AlarmBook::changed, this, &AlarmNotifier::booksChanged);
    connect(book, &QObject::destroyed, this, &AlarmNotifier::booksChanged);
    booksChanged();
}

void AlarmNotifier::removeBook(const flow::AlarmBook *book)
{
    disconnect(book, nullptr, this, nullptr);
    m_books.removeAll(book);
    booksChanged();
}

void AlarmNotifier::setShown(bool shown, const void *window)
{
    m_shownBy.removeAll(window);
    if (shown)
        m_shownBy.append(window);
    m_shown = !m_shownBy.isEmpty();
    if (!m_shown) {
        m_repeat.stop();
        m_devices->hideTray();
    }
    booksChanged();
}

void AlarmNotifier::setMuted(bool muted)
{
    m_muted = muted;
    booksChanged();
}

int AlarmNotifier::unacknowledged() const
{
    int count = 0;
    for (const auto &book : m_books)
        if (book)
            count += book->unacknowledgedCount();
    return count;
}

AlarmLight AlarmNotifier::light() const
{
    bool active = false;
    for (const auto &book : m_books) {
        if (!book)
            continue;
        if (book->unacknowledgedCount() > 0)
            return AlarmLight::Red;
        active = active || book->activeCount() > 0;
    }
    return active ? AlarmLight::Amber : AlarmLight::Green;
}

QString AlarmNotifier::tooltip() const
{
    int active = 0;
    for (const auto &book : m_books)
        if (book)
            active += book->activeCount();
    const int waiting = unacknowledged();
    return waiting == 0 && active == 0 ? NoAlarmTip : CountsTip.arg(waiting).arg(active);
}

void AlarmNotifier::booksRaised(const flow::AlarmBook *book)
{
    if (!m_shown)
        return;
    if (const flow::AlarmRecord *newest = book->newestUnacknowledged())
        m_devices->trayMessage(MessageTitle.arg(book->database()), flow::alarmSummary(*newest));
    // A new alarm sounds at once, also while others already sound.
    if (!m_muted) {
        ring();
        m_repeat.start();
    }
}

void AlarmNotifier::booksChanged()
{
    if (!m_shown)
        return;
    m_devices->showTray(light(), tooltip());
    if (m_muted || unacknowledged() == 0) {
        m_repeat.stop();
    } else if (!m_repeat.isActive()) {
        ring();
        m_repeat.start();
    }
}

void AlarmNotifier::ring()
{
    if (!m_devices->playSound() && !m_silenceSaid) {
        m_silenceSaid = true;
        emit soundUnavailable();
    }
}
