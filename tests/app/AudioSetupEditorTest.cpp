// The audio setup dialog over a holder with outputs of the test's own.
#include "AudioDeviceASFF.h"
#include "AudioSetupEditor.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace Tessaro;

// Named outputs whose devices record every open.
class RecordingManager : public CaudioOutDeviceManagerIF {
public:
    struct Open {
        QString name;
        int frames;
        double rate;
    };
    explicit RecordingManager(QStringList names) : m_names(std::move(names)) { }
    bool enumerate(DeviceInfoList& list) override
    {
        for (const QString& n : m_names)
            list.append(QSharedPointer<CaudioOutDeviceInfoIF>(new Info(n)));
        return true;
    }
    QSharedPointer<CaudioOutDeviceIF> createDevice(QSharedPointer<CaudioOutDeviceInfoIF> info,
                                                   QWeakPointer<CaudioOutCallbackIF>) override
    {
        return info ? QSharedPointer<CaudioOutDeviceIF>(new Device(*this, info->name())) : nullptr;
    }
    QList<Open> opens;

private:
    class Info : public CaudioOutDeviceInfoIF {
    public:
        explicit Info(QString name) : m_name(std::move(name)) { }
        bool isAvailable() const override { return true; }
        QString name() const override { return m_name; }
        int channels() const override { return 2; }
        int bufferFrames() const override { return 1024; }
        int maxBufferFrames() const override { return 65536; }
        bool hasControlPanel() const override { return false; }
        bool showControlPanel() override { return false; }

    private:
        QString m_name;
    };
    class Device : public CaudioOutDeviceIF {
    public:
        Device(RecordingManager& manager, QString name) : m_manager(manager), m_name(std::move(name)) { }
        bool open(int, int, int frames, double rate) override
        {
            m_manager.opens.append({m_name, frames, rate});
            return true;
        }
        bool close() override { return true; }

    private:
        RecordingManager& m_manager;
        QString m_name;
    };
    QStringList m_names;
};

// A holder of the test's own (not the process's) over three outputs, the
// second one selected.
class SetupDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        holder =
            QSharedPointer<AudioDeviceASFF>::create(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        manager = QSharedPointer<RecordingManager>::create(QStringList {"Fake: A", "Fake: B", "Fake: C"});
        ASSERT_EQ(holder->init(manager), 0u);
        ASSERT_EQ(holder->selectDevice(1), 0u);
    }
    QSharedPointer<AudioDeviceASFF> holder;
    QSharedPointer<RecordingManager> manager;
};

TEST_F(SetupDialog, ListsTheHoldersOutputsWithTheCurrentOneSelected)
{
    AudioSetupEditor dialog(nullptr, holder);
    EXPECT_EQ(dialog.size(), QSize(400, 120));
    EXPECT_EQ(dialog.minimumSize(), QSize(400, 120));
    EXPECT_EQ(dialog.maximumSize(), QSize(400, 120));
    EXPECT_EQ(dialog.objectName(), "AudioSetupEditor");
    EXPECT_TRUE(dialog.windowTitle().isEmpty());
    EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(dialog.palette().color(QPalette::Active, QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(dialog.m_pOkButton->text(), "OK");
    EXPECT_FALSE(dialog.m_pOkButton->isDefault());
    EXPECT_EQ(dialog.m_pOkButton->geometry(), QRect(200, 90, 81, 23));
    EXPECT_EQ(dialog.m_pCancelButton->text(), "Cancel");
    EXPECT_EQ(dialog.m_pCancelButton->geometry(), QRect(300, 90, 81, 23));
    EXPECT_EQ(dialog.m_pAudioOutputDeviceGroupBox->title(), "Audio Output Device");
    EXPECT_EQ(dialog.m_pAudioOutBox->geometry(), QRect(15, 20, 341, 22));
    for (QWidget* w :
         std::initializer_list<QWidget*> {dialog.m_pOkButton, dialog.m_pCancelButton,
                                          dialog.m_pAudioOutputDeviceGroupBox, dialog.m_pAudioOutBox})
        EXPECT_EQ(w->font().pixelSize(), 12) << w->objectName().toStdString();

    QStringList listed;
    for (int i = 0; i < dialog.m_pAudioOutBox->count(); ++i)
        listed << dialog.m_pAudioOutBox->itemText(i);
    EXPECT_EQ(listed, QStringList({"Fake: A", "Fake: B", "Fake: C"}));
    EXPECT_EQ(dialog.m_pAudioOutBox->currentIndex(), 1);
}

TEST_F(SetupDialog, OkSelectsAndOpensTheChoice)
{
    AudioSetupEditor dialog(nullptr, holder);
    dialog.m_pAudioOutBox->setCurrentIndex(2);
    manager->opens.clear();
    dialog.m_pOkButton->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(holder->selectedDevice(), 2);
    ASSERT_EQ(manager->opens.size(), 1);
    EXPECT_EQ(manager->opens[0].name, "Fake: C");
    EXPECT_EQ(manager->opens[0].frames, 2048);
    EXPECT_EQ(manager->opens[0].rate, 44100.0);
}

TEST_F(SetupDialog, WithoutOkNothingChanges)
{
    struct Case {
        const char* name;
        std::function<void(AudioSetupEditor&)> end;
    };
    const Case cases[] = {
        {"Cancel", [](AudioSetupEditor& d) { d.m_pCancelButton->click(); }},
        {"the close button",
         [](AudioSetupEditor& d) {
             d.show();
             d.close();
         }},
        {"a choice alone", [](AudioSetupEditor&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        manager->opens.clear();
        {
            AudioSetupEditor dialog(nullptr, holder);
            dialog.m_pAudioOutBox->setCurrentIndex(2);
            c.end(dialog);
            EXPECT_NE(dialog.result(), QDialog::Accepted);
        }
        EXPECT_EQ(holder->selectedDevice(), 1);
        EXPECT_TRUE(manager->opens.isEmpty());
    }
}

TEST(SetupDialogWithoutOutputs, OkOnlyClosesTheDialog)
{
    auto empty =
        QSharedPointer<AudioDeviceASFF>::create(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    auto manager = QSharedPointer<RecordingManager>::create(QStringList {});
    EXPECT_EQ(empty->init(manager), 0x80000003u);
    struct Case {
        const char* name;
        QSharedPointer<AudioDeviceASFF> holder;
    };
    for (const Case& c : {Case {"an empty list", empty}, Case {"no holder", {}}}) {
        SCOPED_TRACE(c.name);
        AudioSetupEditor dialog(nullptr, c.holder);
        EXPECT_EQ(dialog.m_pAudioOutBox->count(), 0);
        EXPECT_EQ(dialog.m_pAudioOutBox->currentIndex(), -1);
        dialog.m_pOkButton->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(empty->selectedDevice(), 0);
        EXPECT_TRUE(manager->opens.isEmpty());
    }
}

}  // namespace
