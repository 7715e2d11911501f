// Message boxes: the numbering rule, the box's own layout rules on real
// modal runs, and the scripted answers that stand in for the user.
#include "MessageDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(MessageDialog, NumberedMessagesShowOnlyTheNumberAndAFullCode)
{
    struct Case {
        QString raised;
        QString shown;
    };
    const Case cases[] = {
        {"#0078 Saving Project File Process returns some error! [80000031]",
         "Internal Error #0078 [80000031]"},
        {"#0112 memory full", "Internal Error #0112 "},
        {"#0100 opening audio file process returns some error! [80000031] ", "Internal Error #0100 "},
        {"#0077 audition process returns some error! [1234]", "Internal Error #0077 "},  // code < 0x10000000
        {"#0090 some error occurs [8000ABcd]", "Internal Error #0090 [8000ABcd]"},
        {"#x123 text", "#x123 text"},
        {"#12", "#12"},
        {"#12 ab", "#12 ab"},
        {"abc", "abc"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MessageDialog::splitMessageNumber(c.raised), c.shown) << c.raised.toStdString();
}

// Runs `inspect` on the message box once it runs modally.
void whenBoxShown(std::function<void(QMessageBox*)> inspect)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        inspect(box);
    });
    poll->start(10);
}

TEST(MessageDialog, BoxesAreAtLeastTheTitlePlus150WideWithTwelvePixelFonts)
{
    const QString title = "Stelvano - a rather long title for such a short message";
    int width = 0, titleWidth = 0;
    QStringList fonts;
    QString text;
    whenBoxShown([&](QMessageBox* box) {
        width = box->width();
        titleWidth = QFontMetrics(box->font()).boundingRect(title).width();
        for (QWidget* w : box->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (w->font().pixelSize() != 12)
                fonts << w->metaObject()->className();
        }
        text = box->text();
        EXPECT_TRUE(box->isModal());
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(
        MessageDialog::showMessage(nullptr, title, "#0112 memory full", QMessageBox::Ok, QMessageBox::Ok),
        QMessageBox::Ok);
    EXPECT_GE(width, titleWidth + 150);
    EXPECT_TRUE(fonts.isEmpty()) << fonts.join(", ").toStdString();
    EXPECT_EQ(text, "Internal Error #0112 ");

    whenBoxShown([&](QMessageBox* box) {
        width = box->width();
        box->button(QMessageBox::Ok)->click();
    });
    MessageDialog::showWithIcon(nullptr, "Stelvano", "About", 420, QMessageBox::Ok, QMessageBox::Ok,
                                QMessageBox::Information);
    EXPECT_GE(width, 420);
}

TEST(MessageDialog, ACustomBoxClosedWithoutAClickGivesANullString)
{
    const MessageDialog::ButtonList buttons = {{"Yes", QMessageBox::YesRole}, {"No", QMessageBox::NoRole}};
    whenBoxShown([](QMessageBox* box) { box->done(0); });
    EXPECT_TRUE(MessageDialog::showCustomButtons(nullptr, "Stelvano", "Go on?", buttons, "No").isNull());

    whenBoxShown([](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == "Yes")
                b->click();
        }
    });
    EXPECT_EQ(MessageDialog::showCustomButtons(nullptr, "Stelvano", "Go on?", buttons, "No"), "Yes");
}

TEST(MessageDialog, TheDefaultCustomButtonIsTheLastWithTheDefaultLabel)
{
    const MessageDialog::ButtonList buttons = {
        {"Yes", QMessageBox::YesRole}, {"No", QMessageBox::NoRole}, {"Yes", QMessageBox::AcceptRole}};
    struct Case {
        QString defaultLabel;
        QMessageBox::ButtonRole defaultRole;  // InvalidRole: no default button
    };
    for (const Case& c : {Case {"Yes", QMessageBox::AcceptRole}, Case {"No", QMessageBox::NoRole},
                          Case {"Cancel", QMessageBox::InvalidRole}}) {
        QMessageBox::ButtonRole role = QMessageBox::InvalidRole;
        MessageDialog::setResponder([&](MessageDialog& box) -> QAbstractButton* {
            if (box.defaultButton())
                role = box.buttonRole(box.defaultButton());
            return nullptr;
        });
        EXPECT_TRUE(
            MessageDialog::showCustomButtons(nullptr, "Stelvano", "?", {buttons, c.defaultLabel}).isNull());
        EXPECT_EQ(role, c.defaultRole) << c.defaultLabel.toStdString();
    }
    MessageDialog::setResponder(nullptr);
}

TEST(MessageDialog, TheWaitCursorEndsOnceWhenABoxShows)
{
    MessageDialogScript script;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    MessageDialog::showMessage(nullptr, "Stelvano", "text");
    EXPECT_NE(QApplication::overrideCursor(), nullptr) << "restored more than once";
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    MessageDialog::showMessage(nullptr, "Stelvano", "text");  // no cursor set: nothing to restore
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MessageDialog, AScriptRecordsEachBoxAndAnswersInOrder)
{
    MessageDialogScript script;
    script.answer(QMessageBox::No);
    script.answer("Cancel");
    script.answer(QString());  // closed without a click
    const MessageDialog::ButtonList save = {
        {"Yes", QMessageBox::YesRole}, {"No", QMessageBox::NoRole}, {"Cancel", QMessageBox::RejectRole}};

    EXPECT_EQ(MessageDialog::showMessage(nullptr, "Stelvano", "#0110 some error occurs!",
                                         QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes),
              QMessageBox::No);
    EXPECT_EQ(MessageDialog::showCustomButtons(nullptr, "Stelvano", "Save?", save, "Cancel"), "Cancel");
    EXPECT_TRUE(MessageDialog::showCustomButtons(nullptr, "Stelvano", "Save?", save, "Cancel").isNull());
    // No answer left: the default button is clicked.
    EXPECT_EQ(MessageDialog::showCustomButtons(nullptr, "Stelvano", "Save?", save, "No"), "No");
    EXPECT_EQ(
        MessageDialog::showMessage(nullptr, "KRMproto", "Memory error!", QMessageBox::Ok, QMessageBox::Ok),
        QMessageBox::Ok);

    ASSERT_EQ(script.shown().size(), 5);
    EXPECT_EQ(script.shown()[0].title, "Stelvano");
    EXPECT_EQ(script.shown()[0].text, "Internal Error #0110 ");
    EXPECT_EQ(script.shown()[0].buttons, (QStringList {"Yes", "No"}));
    EXPECT_EQ(script.shown()[1].buttons, (QStringList {"Yes", "No", "Cancel"}));
    EXPECT_EQ(script.shown()[4].title, "KRMproto");
    EXPECT_EQ(script.shown()[4].text, "Memory error!");
}

}  // namespace
