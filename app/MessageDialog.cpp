#include "MessageDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpacerItem>

namespace {

constexpr int kFontPixels = 12;
constexpr int kTitleMargin = 150;  // pixels beside the title's width

MessageDialog::Responder& responder()
{
    static MessageDialog::Responder r;
    return r;
}

QString withoutMnemonics(QString label)
{
    return label.remove(QRegularExpression("&(?=[^&])"));
}

}  // namespace

MessageDialog::MessageDialog(QWidget* parent, Icon icon) : QMessageBox(parent)
{
    setIcon(NoIcon);
    setChildFonts();
    setIcon(icon);
}

void MessageDialog::setChildFonts()
{
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        QFont f = w->font();
        f.setPixelSize(kFontPixels);
        w->setFont(f);
    }
}

void MessageDialog::setButtons(StandardButtons buttons, StandardButton defaultButton)
{
    setStandardButtons(buttons);
    setDefaultButton(defaultButton);
    for (uint b = FirstButton; b <= LastButton; b <<= 1) {
        if (QAbstractButton* button = this->button(StandardButton(b)))
            m_labels.append(withoutMnemonics(button->text()));
    }
}

void MessageDialog::setButtons(const ButtonList& buttons, const QString& defaultLabel)
{
    QPushButton* chosen = nullptr;
    for (const auto& entry : buttons) {
        QPushButton* b = addButton(entry.first, entry.second);
        m_labels.append(withoutMnemonics(entry.first));
        if (entry.first == defaultLabel)
            chosen = b;
    }
    if (chosen)
        setDefaultButton(chosen);
}

int MessageDialog::present(const QString& title, const QString& text, int width)
{
    setWindowTitle(title);
    setText(splitMessageNumber(text));
    setChildFonts();

    if (width < 0)
        width = QFontMetrics(font()).boundingRect(title).width() + kTitleMargin;
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }

    // A wait cursor set by the caller while it worked ends here.
    QApplication::restoreOverrideCursor();
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    if (!responder())
        return exec();
    QAbstractButton* answer = responder()(*this);
    if (!answer)
        return NoButton;
    answer->click();
    return standardButton(answer);
}

int MessageDialog::showMessage(QWidget* parent, const QString& title, const QString& text,
                               StandardButtons buttons, StandardButton defaultButton)
{
    return showMessageEx(parent, title, text, QString(), QString(), buttons, defaultButton, NoIcon);
}

int MessageDialog::showMessageEx(QWidget* parent, const QString& title, const QString& text,
                                 const QString& informativeText, const QString& detailedText,
                                 StandardButtons buttons, StandardButton defaultButton, Icon icon)
{
    MessageDialog box(parent, icon);
    box.setButtons(buttons, defaultButton);
    box.setDetailedText(detailedText);
    box.setInformativeText(informativeText);
    return box.present(title, text, -1);
}

int MessageDialog::showWithIcon(QWidget* parent, const QString& title, const QString& text, int minimumWidth,
                                StandardButtons buttons, StandardButton defaultButton, Icon icon)
{
    MessageDialog box(parent, icon);
    box.setButtons(buttons, defaultButton);
    box.setDetailedText(QString());
    box.setInformativeText(QString());
    return box.present(title, text, qMax(0, minimumWidth));
}

QString MessageDialog::showCustomButtons(QWidget* parent, const QString& title, const QString& text,
                                         const QString& informativeText, const QString& detailedText,
                                         const ButtonList& buttons, const QString& defaultLabel, Icon icon)
{
    MessageDialog box(parent, icon);
    box.setButtons(buttons, defaultLabel);
    box.setDetailedText(detailedText);
    box.setInformativeText(informativeText);
    box.present(title, text, -1);
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? clicked->text() : QString();
}

QString MessageDialog::showCustomButtons(QWidget* parent, const QString& title, const QString& text,
                                         const QString& informativeText, const ButtonList& buttons,
                                         const QString& defaultLabel, Icon icon)
{
    return showCustomButtons(parent, title, text, informativeText, QString(), buttons, defaultLabel, icon);
}

QString MessageDialog::showCustomButtons(QWidget* parent, const QString& title, const QString& text,
                                         const ButtonList& buttons, const QString& defaultLabel, Icon icon)
{
    return showCustomButtons(parent, title, text, QString(), QString(), buttons, defaultLabel, icon);
}

QString MessageDialog::showCustomButtons(QWidget* parent, const QString& title, const QString& text,
                                         const QPair<ButtonList, QString>& buttonsAndDefault)
{
    return showCustomButtons(parent, title, text, QString(), QString(), buttonsAndDefault.first,
                             buttonsAndDefault.second, NoIcon);
}

QString MessageDialog::splitMessageNumber(const QString& text)
{
    // Built once: the number "#nnnn" at the start, the code "[nnnnnnnn]" at
    // the end (eight hexadecimal digits, as every failure code has).
    static const QRegularExpression numberPattern(QRegularExpression::anchoredPattern("^#[0-9]+"));
    static const QRegularExpression codePattern(QRegularExpression::anchoredPattern("^\\[[a-fA-F0-9]+\\]$"));
    static const int numberLength = QStringLiteral("#nnnn").size();
    static const int codeLength = QStringLiteral("[nnnnnnnn]").size();

    const QString number = text.size() < numberLength ? QString() : text.left(numberLength);
    const QString code = text.size() < codeLength ? QString() : text.right(codeLength);
    if (!numberPattern.match(number).hasMatch())
        return text;
    QString shown = tr("Internal Error %1 ").arg(number);
    if (codePattern.match(code).hasMatch())
        shown += code;
    return shown;
}

void MessageDialog::setResponder(Responder r)
{
    responder() = std::move(r);
}

MessageDialogScript::MessageDialogScript()
{
    MessageDialog::setResponder([this](MessageDialog& box) { return respond(box); });
}

MessageDialogScript::~MessageDialogScript()
{
    MessageDialog::setResponder(nullptr);
}

void MessageDialogScript::answer(QMessageBox::StandardButton button)
{
    m_answers.append({button, QString()});
}

void MessageDialogScript::answer(const QString& label)
{
    m_answers.append({QMessageBox::NoButton, label});
}

QAbstractButton* MessageDialogScript::respond(MessageDialog& box)
{
    m_shown.append({box.windowTitle(), box.text(), box.buttonLabels()});
    const QList<QAbstractButton*> buttons = box.buttons();
    if (m_answers.isEmpty())
        return box.defaultButton() ? box.defaultButton() : buttons.size() == 1 ? buttons.first() : nullptr;

    const Answer a = m_answers.takeFirst();
    if (a.standard != QMessageBox::NoButton)
        return box.button(a.standard);
    if (a.label.isNull())
        return nullptr;
    for (QAbstractButton* b : buttons) {
        if (withoutMnemonics(b->text()) == withoutMnemonics(a.label))
            return b;
    }
    return nullptr;
}
