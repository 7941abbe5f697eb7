#include "ui/SignInDialog.h"

#include "ui/WindowMetrics.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <charconv>

namespace tervane {

namespace {

constexpr qreal kFontPoints = 9.75;

// The dialog as first drawn, in twips within the client area.
constexpr QRect kClient{0, 0, 4305, 2025};
constexpr QRect kUserLabel{105, 150, 1440, 270};
constexpr QRect kUserField{1680, 135, 2325, 345};
constexpr QRect kPasswordLabel{105, 540, 1080, 270};
constexpr QRect kPasswordField{1680, 525, 2325, 345};
constexpr QRect kOkButton{480, 1440, 1140, 390};
constexpr QRect kCancelButton{2100, 1440, 1140, 390};
constexpr QRect kRememberBox{240, 1080, 2775, 255};

const QString kTitle = QStringLiteral("Internet Access");
const QString kPasswordMask = QStringLiteral("QLineEdit { lineedit-password-character: 42; }"); // '*'

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Only "1" ticks the box; whatever else is stored (an older version's "2", a hand-edited
// file) leaves it clear rather than failing.
Qt::CheckState CheckStateFrom(const std::string& stored)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(stored.data(), stored.data() + stored.size(), value);
    const bool whole = ec == std::errc() && end == stored.data() + stored.size();
    return whole && value == 1 ? Qt::Checked : Qt::Unchecked;
}

// Desktop fonts run wider and taller than the old ones: a control keeps its place and
// grows only as far as its text needs. Fields keep their width; text scrolls in them.
void Place(QWidget* control, const QRect& where, bool keepWidth = false)
{
    QRect area = FromTwips(where);
    const QSize needed = control->sizeHint();
    area.setHeight(std::max(area.height(), needed.height()));
    if (!keepWidth)
        area.setWidth(std::max(area.width(), needed.width()));
    control->setGeometry(area);
}

} // namespace

SignInDialog::SignInDialog(SettingsStore& settings, MousePointer& pointer, QWidget* owner,
                           bool loginSucceeded)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      m_settings(settings), m_pointer(pointer), m_loginSucceeded(loginSucceeded)
{
    setWindowTitle(kTitle);
    setModal(true);
    QFont font = QApplication::font();
    font.setPointSizeF(kFontPoints);
    setFont(font);
    QFont fieldFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fieldFont.setStyleHint(QFont::TypeWriter);
    fieldFont.setPointSizeF(kFontPoints);

    const auto named = [](auto* control, const char* name) {
        control->setObjectName(QString::fromLatin1(name));
        return control;
    };
    m_lblUserName = named(new QLabel(QStringLiteral("&User Name:"), this), "lblUserName");
    m_txtUserName = named(new QLineEdit(this), "txtUserName");
    m_lblPassword = named(new QLabel(QStringLiteral("&Password:"), this), "lblPassword");
    m_txtPassword = named(new QLineEdit(this), "txtPassword");
    m_cmdOK = named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    m_cmdCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel");
    m_chkRemember = named(new QCheckBox(QStringLiteral("Remember password"), this), "chkRemember");

    m_lblUserName->setBuddy(m_txtUserName);
    m_lblPassword->setBuddy(m_txtPassword);
    for (QLineEdit* field : {m_txtUserName, m_txtPassword}) {
        field->setFont(fieldFont);
        field->installEventFilter(this);
    }
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_txtPassword->setStyleSheet(kPasswordMask);
    m_txtPassword->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_cmdOK->setDefault(true);

    setTabOrder(m_txtUserName, m_txtPassword);
    setTabOrder(m_txtPassword, m_cmdOK);
    setTabOrder(m_cmdOK, m_cmdCancel);
    setTabOrder(m_cmdCancel, m_chkRemember);

    connect(m_cmdOK, &QPushButton::clicked, this, &SignInDialog::accept);
    connect(m_cmdCancel, &QPushButton::clicked, this, &SignInDialog::reject);
    PlaceControls();
}

std::string SignInDialog::UserName() const { return m_txtUserName->text().toStdString(); }
std::string SignInDialog::Password() const { return m_txtPassword->text().toStdString(); }

void SignInDialog::PlaceControls()
{
    Place(m_lblUserName, kUserLabel);
    Place(m_txtUserName, kUserField, true);
    Place(m_lblPassword, kPasswordLabel);
    Place(m_txtPassword, kPasswordField, true);
    Place(m_cmdOK, kOkButton);
    Place(m_cmdCancel, kCancelButton);
    Place(m_chkRemember, kRememberBox);

    // Keep the old margins to the right and below should a control have grown past them.
    const QRect client = FromTwips(kClient);
    const int rightMargin = client.width() - FromTwips(kUserField).right();
    const int bottomMargin = client.height() - FromTwips(kOkButton).bottom();
    QSize size = client.size();
    for (const QWidget* control : findChildren<QWidget*>()) {
        size.setWidth(std::max(size.width(), control->geometry().right() + rightMargin));
        size.setHeight(std::max(size.height(), control->geometry().bottom() + bottomMargin));
    }
    setFixedSize(size);
}

void SignInDialog::FillFromStore()
{
    m_chkRemember->setCheckState(CheckStateFrom(m_settings.GetSetting(kSignInSection, kCheckBoxKey, "0")));
    m_txtUserName->setText(Text(m_settings.GetSetting(kSignInSection, kUserNameKey, "")));
    const std::string password =
        m_offerStoredPassword ? m_settings.GetSetting(kSignInSection, kPasswordKey, "") : std::string();
    m_txtPassword->setText(Text(password));
}

void SignInDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        m_closedByControl = false;
        FillFromStore();
        m_pointer.ShowDefault();
        if (const QScreen* where = screen())
            move(where->availableGeometry().center() - rect().center());
        m_txtUserName->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(event);
}

void SignInDialog::accept()
{
    m_loginSucceeded = true;
    const bool remember = m_chkRemember->checkState() == Qt::Checked;
    m_settings.SaveSetting(kSignInSection, kCheckBoxKey, remember ? "1" : "0");
    m_settings.SaveSetting(kSignInSection, kUserNameKey, m_txtUserName->text().toStdString());
    if (remember)
        m_settings.SaveSetting(kSignInSection, kPasswordKey, m_txtPassword->text().toStdString());
    m_pointer.ShowHourglass();
    QDialog::accept();
}

void SignInDialog::reject()
{
    m_loginSucceeded = false;
    QDialog::reject();
}

// The close control is neither OK nor Cancel: it must not reach reject(), which
// QDialog::closeEvent would call.
void SignInDialog::closeEvent(QCloseEvent* event)
{
    if (isVisible()) {
        m_closedByControl = true;
        QDialog::done(Rejected);
    }
    event->accept();
}

// Select the whole text on every way in, by tab, access key, mouse or at opening. Later,
// so that a mouse press placing the cursor does not undo it.
bool SignInDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (auto* field = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, field, &QLineEdit::selectAll);
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tervane
