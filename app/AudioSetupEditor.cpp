#include "AudioSetupEditor.h"

#include "AudioDeviceASFF.h"

#include <QCoreApplication>
#include <QIcon>
#include <QMetaObject>
#include <QPalette>

void Ui_AudioSetupEditor::setupUi(QDialog* AudioSetupEditor)
{
    if (AudioSetupEditor->objectName().isEmpty())
        AudioSetupEditor->setObjectName(QString::fromUtf8("AudioSetupEditor"));
    AudioSetupEditor->setEnabled(true);
    AudioSetupEditor->resize(400, 120);
    QSizePolicy policy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    policy.setHorizontalStretch(0);
    policy.setVerticalStretch(0);
    policy.setHeightForWidth(AudioSetupEditor->sizePolicy().hasHeightForWidth());
    AudioSetupEditor->setSizePolicy(policy);
    AudioSetupEditor->setMinimumSize(QSize(400, 120));
    AudioSetupEditor->setMaximumSize(QSize(400, 120));
    QPalette palette;
    const QBrush white(QColor(255, 255, 255, 255), Qt::SolidPattern);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setBrush(group, QPalette::Base, white);
        palette.setBrush(group, QPalette::Window, white);
    }
    AudioSetupEditor->setPalette(palette);
    QFont font;
    font.setFamily(QString::fromUtf8("Arial"));
    AudioSetupEditor->setFont(font);
    QIcon icon;
    icon.addFile(QString::fromUtf8(":/img/icon36.png"), QSize(), QIcon::Normal, QIcon::Off);
    AudioSetupEditor->setWindowIcon(icon);
    AudioSetupEditor->setAutoFillBackground(true);

    m_pCancelButton = new QPushButton(AudioSetupEditor);
    m_pCancelButton->setObjectName(QString::fromUtf8("m_pCancelButton"));
    m_pCancelButton->setGeometry(QRect(300, 90, 81, 23));
    m_pOkButton = new QPushButton(AudioSetupEditor);
    m_pOkButton->setObjectName(QString::fromUtf8("m_pOkButton"));
    m_pOkButton->setEnabled(true);
    m_pOkButton->setGeometry(QRect(200, 90, 81, 23));
    m_pOkButton->setDefault(false);
    m_pAudioOutputDeviceGroupBox = new QGroupBox(AudioSetupEditor);
    m_pAudioOutputDeviceGroupBox->setObjectName(QString::fromUtf8("m_pAudioOutputDeviceGroupBox"));
    m_pAudioOutputDeviceGroupBox->setGeometry(QRect(10, 20, 371, 61));
    m_pAudioOutBox = new QComboBox(m_pAudioOutputDeviceGroupBox);
    m_pAudioOutBox->setObjectName(QString::fromUtf8("m_pAudioOutBox"));
    m_pAudioOutBox->setGeometry(QRect(15, 20, 341, 22));
    QWidget::setTabOrder(m_pOkButton, m_pCancelButton);
    QWidget::setTabOrder(m_pCancelButton, m_pAudioOutBox);

    retranslateUi(AudioSetupEditor);
    QObject::connect(m_pCancelButton, SIGNAL(clicked()), AudioSetupEditor, SLOT(clickedCancel()));
    QObject::connect(m_pOkButton, SIGNAL(clicked()), AudioSetupEditor, SLOT(clickedOk()));
    QObject::connect(m_pAudioOutBox, SIGNAL(currentIndexChanged(int)), AudioSetupEditor,
                     SLOT(currentMidiOutBoxChanged(int)));
    QMetaObject::connectSlotsByName(AudioSetupEditor);
}

void Ui_AudioSetupEditor::retranslateUi(QDialog*)
{
    m_pCancelButton->setText(QCoreApplication::translate("AudioSetupEditor", "Cancel", nullptr));
    m_pOkButton->setText(QCoreApplication::translate("AudioSetupEditor", "OK", nullptr));
    m_pAudioOutputDeviceGroupBox->setTitle(
        QCoreApplication::translate("AudioSetupEditor", "Audio Output Device", nullptr));
}

AudioSetupEditor::AudioSetupEditor(QWidget* parent) : AudioSetupEditor(parent, AudioDeviceASFF::instance())
{ }

AudioSetupEditor::AudioSetupEditor(QWidget* parent, QSharedPointer<AudioDeviceASFF> holder)
    : QDialog(parent), m_holder(std::move(holder))
{
    setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    for (QWidget* w : std::initializer_list<QWidget*> {m_pCancelButton, m_pOkButton,
                                                       m_pAudioOutputDeviceGroupBox, m_pAudioOutBox}) {
        QFont f = w->font();
        f.setPixelSize(12);
        w->setFont(f);
    }
    fillDeviceList();
}

void AudioSetupEditor::fillDeviceList()
{
    if (!m_holder)
        return;
    int count = 0;
    m_holder->deviceCount(count);
    for (int i = 0; i < count; ++i) {
        QString name;
        m_holder->deviceName(i, name);
        m_pAudioOutBox->addItem(name);
    }
    m_pAudioOutBox->setCurrentIndex(m_holder->selectedDevice());
}

void AudioSetupEditor::clickedCancel()
{
    reject();
}

void AudioSetupEditor::clickedOk()
{
    accept();
    // An empty list leaves nothing to choose.
    const int index = m_pAudioOutBox->currentIndex();
    if (!m_holder || index < 0)
        return;
    m_holder->selectDevice(index);
    m_holder->open(kBufferFrames, kSampleRate);
}

void AudioSetupEditor::currentMidiOutBoxChanged(int)
{ }
