#pragma once
// Every message box of the program. Boxes get 12-pixel fonts, a width taken
// from the title (or a given minimum), the dialog frame and application
// modality; a numbered message ("#nnnn ..." with an optional trailing
// "[code]") shows only "Internal Error #nnnn " and the code.
#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

class MessageDialog : public QMessageBox {
    Q_OBJECT
public:
    // Button label and role, in the order the buttons are added.
    using ButtonList = QList<QPair<QString, QMessageBox::ButtonRole>>;

    // The exec result: the standard button chosen.
    static int showMessage(QWidget* parent, const QString& title, const QString& text,
                           StandardButtons buttons = Ok, StandardButton defaultButton = NoButton);
    static int showMessageEx(QWidget* parent, const QString& title, const QString& text,
                             const QString& informativeText, const QString& detailedText,
                             StandardButtons buttons, StandardButton defaultButton, Icon icon);
    // As wide as `minimumWidth` pixels at least, whatever the title.
    static int showWithIcon(QWidget* parent, const QString& title, const QString& text, int minimumWidth,
                            StandardButtons buttons, StandardButton defaultButton, Icon icon);

    // The label of the clicked button, or a null string when the box closed
    // without a click. The default button is the last one whose label equals
    // `defaultLabel` (none when no label does).
    static QString showCustomButtons(QWidget* parent, const QString& title, const QString& text,
                                     const QString& informativeText, const QString& detailedText,
                                     const ButtonList& buttons, const QString& defaultLabel,
                                     Icon icon = NoIcon);
    static QString showCustomButtons(QWidget* parent, const QString& title, const QString& text,
                                     const QString& informativeText, const ButtonList& buttons,
                                     const QString& defaultLabel, Icon icon = NoIcon);
    static QString showCustomButtons(QWidget* parent, const QString& title, const QString& text,
                                     const ButtonList& buttons, const QString& defaultLabel,
                                     Icon icon = NoIcon);
    static QString showCustomButtons(QWidget* parent, const QString& title, const QString& text,
                                     const QPair<ButtonList, QString>& buttonsAndDefault);

    // The text as the box shows it (the numbering rule above).
    static QString splitMessageNumber(const QString& text);

    // Labels of the box's buttons without mnemonic marks: custom buttons in
    // the order given, standard buttons in the order of their values.
    const QStringList& buttonLabels() const { return m_labels; }

    // Test hook. While a responder is set, every box is built in full and,
    // in place of running modally, handed to it; it returns the button to
    // click, or null to close the box without a click.
    using Responder = std::function<QAbstractButton*(MessageDialog& box)>;
    static void setResponder(Responder responder);

private:
    MessageDialog(QWidget* parent, Icon icon);
    void setChildFonts();
    void setButtons(StandardButtons buttons, StandardButton defaultButton);
    void setButtons(const ButtonList& buttons, const QString& defaultLabel);
    // Title, text, width (from the title when negative), cursor, modality;
    // then runs the box and returns the exec result.
    int present(const QString& title, const QString& text, int width);

    QStringList m_labels;
};

// For the tests of code that shows boxes: while it lives, every box is
// recorded and answered from a script instead of running modally.
class MessageDialogScript {
public:
    struct Shown {
        QString title;
        QString text;  // as shown, after the numbering rule
        QStringList buttons;
    };

    MessageDialogScript();
    ~MessageDialogScript();
    MessageDialogScript(const MessageDialogScript&) = delete;
    MessageDialogScript& operator=(const MessageDialogScript&) = delete;

    // One answer per box, in order: a standard button, or a button label (a
    // null label closes the box without a click). With no answer left the
    // box's default button is clicked, or none when it has none.
    void answer(QMessageBox::StandardButton button);
    void answer(const QString& label);

    const QList<Shown>& shown() const { return m_shown; }

private:
    QAbstractButton* respond(MessageDialog& box);

    struct Answer {
        QMessageBox::StandardButton standard;
        QString label;
    };
    QList<Answer> m_answers;
    QList<Shown> m_shown;
};
