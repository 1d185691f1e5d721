#include "reference/aboutform.h"
#include "ui_aboutform.h"

#include "ui/keys.h"

#include <QKeyEvent>
#include <QShowEvent>

Taboutform *aboutform = nullptr;

namespace {

const QString keyCode = QStringLiteral("zqkfeR");

const QString authorLine = QStringLiteral("作者：报盘工具组（QTRLKV）");
const QString phoneLine = QStringLiteral("电话：（见内部通讯录）");
const QString qqLine = QStringLiteral("QQ号：（见内部通讯录）");
const QString mailLine = QStringLiteral("邮箱：qtrlkv@example.com");

constexpr QChar backspace(8);
constexpr QChar carriageReturn(13);

} // namespace

Taboutform::Taboutform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Taboutform>())
{
    // The picture lives in the library's own resource file.
    Q_INIT_RESOURCE(reference);
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

Taboutform::~Taboutform() = default;

void Taboutform::FormShow()
{
    m_typed.clear();
}

void Taboutform::FormKeyPress(QChar &key)
{
    const QString code = keyCode;
    if (key != backspace && key != carriageReturn && !code.contains(key, Qt::CaseSensitive))
        key = QChar(0);
    // Every key press counts, so any other key spoils the code until the
    // window is shown again.
    m_typed.append(key);
    if (m_typed != code)
        return;
    ui->Label1->setText(authorLine);
    ui->Label8->setText(phoneLine);
    ui->Label2->setText(qqLine);
    ui->Label4->setText(mailLine);
    ui->Label5->setText(QString());
    ui->Label3->setText(QString());
}

void Taboutform::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Taboutform::keyPressEvent(QKeyEvent *event)
{
    const QString typed = typedCharacters(event);
    if (typed.isEmpty()) {
        QDialog::keyPressEvent(event);
        return;
    }
    bool swallowed = false;
    for (QChar key : typed) {
        FormKeyPress(key);
        if (key.isNull())
            swallowed = true;
    }
    if (swallowed)
        event->accept();
    else
        QDialog::keyPressEvent(event);
}
