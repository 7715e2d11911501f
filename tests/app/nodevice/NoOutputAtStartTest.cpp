// The main window on a machine without any audio output: one message at
// start, and from then on the window leaves the audio alone. A program of
// its own, since the output holder lists the outputs once per process.
#include "../ModalDialogs.h"
#include "AudioSetupEditor.h"
#include "MainWindow.h"
#include "MessageDialog.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(NoOutputAtStart, OneMessageThenTheAudioIsLeftAlone)
{
    qputenv("STELVANO_AUDIO_NULL", "0");
    qputenv("STELVANO_AUDIO_ALSA", "0");
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    const QString ini = data.filePath("Tanvek/Stelvano/Stelvano.ini");

    MessageDialogScript boxes;
    auto window = std::make_unique<MainWindow>(QString());
    ASSERT_EQ(boxes.shown().size(), 1);
    EXPECT_EQ(boxes.shown()[0].title, "Stelvano");
    EXPECT_EQ(boxes.shown()[0].text, "Cannot open the audio output device \"\". [80000321]");

    testutil::ModalAnswer<AudioSetupEditor> setup([](AudioSetupEditor& d) { d.reject(); });
    window->actionAudioDeviceSetting->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(setup.seen()) << "the setting command does nothing";

    window.reset();
    EXPECT_EQ(boxes.shown().size(), 1) << "the device is not closed at exit";
    QSettings settings(ini, QSettings::IniFormat);
    EXPECT_TRUE(settings.contains("MainWindow/GeometryW"));
    EXPECT_FALSE(settings.contains("Audio/AudioDeviceName")) << "the device name is not stored";
}

}  // namespace
