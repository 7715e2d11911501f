#pragma once
// The dialog in which the user picks the audio output: it lists every output
// the process-wide output holder knows, preselects the current one, and on
// OK selects the chosen output and opens it (2048 frames per buffer, 44100
// Hz). The caller runs it modally and then takes over the holder's choice.
#include "AudioFormat.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QSharedPointer>

class AudioDeviceASFF;

class Ui_AudioSetupEditor {
public:
    QPushButton* m_pCancelButton;
    QPushButton* m_pOkButton;
    QGroupBox* m_pAudioOutputDeviceGroupBox;
    QComboBox* m_pAudioOutBox;

    void setupUi(QDialog* AudioSetupEditor);
    // Texts in the context "AudioSetupEditor"; the form sets no title.
    void retranslateUi(QDialog* AudioSetupEditor);
};

namespace Ui {
class AudioSetupEditor : public Ui_AudioSetupEditor { };
}  // namespace Ui

class AudioSetupEditor : public QDialog, public Ui::AudioSetupEditor {
    Q_OBJECT
public:
    // `holder`: the outputs to offer, the process-wide holder unless given;
    // without one the list stays empty and OK only closes the dialog.
    explicit AudioSetupEditor(QWidget* parent);
    AudioSetupEditor(QWidget* parent, QSharedPointer<AudioDeviceASFF> holder);

    static constexpr int kBufferFrames = 2048;
    static constexpr double kSampleRate = krm::audio::kSampleRate;

private slots:
    void clickedCancel();
    void clickedOk();
    void currentMidiOutBoxChanged(int index);

private:
    void fillDeviceList();

    QSharedPointer<AudioDeviceASFF> m_holder;
};
