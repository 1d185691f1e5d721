#include "reference/about.h"
#include "ui_about.h"

#include "app/keys.h"

#include <QKeyEvent>
#include <QShowEvent>

Taboutform *aboutform = nullptr;

namespace {

const char *const keyCode = "zqkfeR";

const char *const authorLine = "作者：报盘工具组（QTRLKV）";
const char *const phoneLine = "电话：（见内部通讯录）";
const char *const qqLine = "QQ号：（见内部通讯录）";
const char *const mailLine = "邮箱：qtrlkv@example.com";

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
    const QString code = QString::fromLatin1(keyCode);
    if (key != backspace && key != carriageReturn && !code.contains(key, Qt::CaseSensitive))
        key = QChar(0);
    // Every key press counts, so any other key spoils the code until the
    // window is shown again.
    m_typed.append(key);
    if (m_typed != code)
        return;
    ui->Label1->setText(QString::fromUtf8(authorLine));
    ui->Label8->setText(QString::fromUtf8(phoneLine));
    ui->Label2->setText(QString::fromUtf8(qqLine));
    ui->Label4->setText(QString::fromUtf8(mailLine));
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
