#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>

class QAction;
class QDate;
class QLabel;

namespace Ui {
class Tmainform;
}

// Text of status panel 2: "日期: " + year + "年" + month + "月" + day + "日",
// each number in plain decimal without leading zeros.
QString datePanelText(int year, int month, int day);
QString datePanelText(const QDate &date);

// Left edge of a window of outer width windowWidth centred on a screen of
// width screenWidth: the difference halved, truncating toward zero.
int centredLeft(int screenWidth, int windowWidth);

// The main window: a thin fixed strip with the menu and the status bar. It
// owns the login state, which is exactly the enabled flags of N2, N3, N4,
// N7 and the texts of status panels 0 and 1.
class Tmainform : public QMainWindow
{
    Q_OBJECT
public:
    explicit Tmainform(QWidget *parent = nullptr);
    ~Tmainform() override;

    // Menu entries and status panels other windows switch. N4() is the
    // tools menu's own entry on the menu bar.
    QAction *N2() const;
    QAction *N3() const;
    QAction *N4() const;
    QAction *N7() const;
    QLabel *panel(int index) const;

    // Logged-in state: N2 disabled, N3/N4/N7 enabled, "状态: 已登录" and
    // "数据库用户: " + user.
    void enterLoggedInState(const QString &user);
    // Logged-out state as after a logout: N2 enabled, N3/N4/N7 disabled,
    // "状态: 未登录" and "数据库用户: ". The connection is not touched.
    void enterLoggedOutState();

public slots:
    void N2Click();
    void N3Click();
    void N5Click();
    void N6Click();
    void N7Click();
    void N9Click();
    void N10Click();
    void N12Click();
    void N14Click();
    void N17Click();
    void N18Click();
    void AshareCjhb1Click();
    void AshareOrdwth21Click();
    void AshareOrdwth1Click();

private:
    void FormCreate();

    std::unique_ptr<Ui::Tmainform> ui;
};

extern Tmainform *mainform;
