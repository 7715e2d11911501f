// The editing controls of the main window: trim, bars, tempo, time
// signature, pickup, the fade, blank and manual flags, the audition options,
// the beat re-analysis at double or half speed and the half-beat shift.
// Each edit copies an engine record, changes the copy and hands it back, so
// every accepted change is one undo step; edits that rewrite the whole
// project run on the work engine and the project takes the result as one
// "set all" step.
#include "MainWindow.h"

#include "BeatGrid.h"
#include "KRMprotoSettings.h"
#include "MessageDialog.h"
#include "ResultCode.h"
#include "UpdateGuard.h"

#include <QApplication>
#include <QRegExpValidator>

#include <algorithm>

namespace {

const char* const kTitle = "Stelvano";
constexpr size_t kLongBeatList = 2000;

QString hex(uint32_t r)
{
    return QString::number(r, 16);
}

using krm::isSectionIndex;

}  // namespace

void MainWindow::refreshAfterEdit()
{
    syncSectionControls(mSection);
    refreshSection(false);
    updateActions();
    updateUndoRedoActions();
}

float MainWindow::currentWaveSeconds()
{
    return hasCurrentWave() ? samplesToSeconds(mHorMaxZoom) : 0.0f;
}

uint32_t MainWindow::readCurrentSection(CKRMcore& engine, SectionRecord*& rec)
{
    rec = nullptr;
    const uint32_t e = isSectionIndex(mSection) ? engine.getSecInfo(uint8_t(mSection), &rec) : krm::fail(1);
    if (e == 0 && rec)
        return 0;
    mMemoryFull = engine.hasError();
    return krm::nest(e, 1);
}

// Trim.

void MainWindow::trimTextChanged(QLineEdit& lineEdit, QString str)
{
    // Two leading zeros before the decimal point become one.
    const int dot = str.indexOf('.');
    const QString whole = dot > 0 ? str.left(dot) : str;
    if (whole.size() >= 2 && whole.startsWith("00"))
        lineEdit.setText("0");
}

void MainWindow::trimEditingFinished(QLineEdit& lineEdit)
{
    if (mUpdating || !lineEdit.isModified())
        return;
    // Without an audio file there is nothing to trim; the entry waits.
    if (!hasCurrentWave()) {
        lineEdit.setModified(false);
        return;
    }
    if (lineEdit.text().toFloat() > currentWaveSeconds()) {
        lineEdit.setText(lineEdit.placeholderText());
        return;
    }
    updateSectionTrim();
    refreshSection(false);
    updateActions();
    updateUndoRedoActions();
}

void MainWindow::trimStartTextChanged(QString str)
{
    trimTextChanged(*mLEditTrimStart, str);
}

void MainWindow::trimStartEditingFinished()
{
    trimEditingFinished(*mLEditTrimStart);
}

void MainWindow::trimEndTextChanged(QString str)
{
    trimTextChanged(*mLEditTrimEnd, str);
}

void MainWindow::trimEndEditingFinished()
{
    trimEditingFinished(*mLEditTrimEnd);
}

uint32_t MainWindow::updateSectionTrim(CKRMcore* engine)
{
    if (!mLEditTrimStart->isModified() && !mLEditTrimEnd->isModified())
        return 0;
    float start = mLEditTrimStart->text().toFloat();
    float end = mLEditTrimEnd->text().toFloat();
    if (end < start) {
        std::swap(start, end);
        mLEditTrimStart->setText(QString::number(double(start), 'f', 6));
        mLEditTrimEnd->setText(QString::number(double(end), 'f', 6));
    }
    mLEditTrimStart->setModified(false);
    mLEditTrimEnd->setModified(false);
    const uint32_t r = applySectionTrim(start, end, engine ? *engine : mCore);
    if (r != 0)
        showMessage(tr("#0083 updating section trim process returns some error! [%1]").arg(hex(r)));
    return r;
}

uint32_t MainWindow::applySectionTrim(float start, float end, CKRMcore& engine)
{
    SectionRecord* rec = nullptr;
    if (const uint32_t e = readCurrentSection(engine, rec))
        return e;
    WaveInfoRecord* wave = nullptr;
    if (mWave < 0 || engine.getWavInfo(uint8_t(mWave), &wave) != 0 || !wave)
        return krm::fail(2);
    SectionRecord copy = *rec;
    copy.used = 1;
    copy.startAdrs = secondsToSamples(start);
    copy.startOffset = 0;
    const uint32_t last = wave->onsets.empty() ? 0 : secondsToSamples(wave->onsets.back());
    copy.endAdrs = std::min(secondsToSamples(end), last);
    copy.endOffset = 0;
    if (!copy.manualBars) {
        copy.startAdrs = uint32_t(snapToMarks(int32_t(copy.startAdrs), m_beatMarks));
        copy.endAdrs = uint32_t(snapToMarks(int32_t(copy.endAdrs), m_beatMarks));
    }
    return krm::nestOnFail(engine.setSecInfo(uint8_t(mSection), copy), 2);
}

// Bars and tempo.

void MainWindow::valueChangedSpinBars(int val)
{
    updateBars(val);
}

uint32_t MainWindow::updateBars(int value)
{
    SectionRecord* rec = nullptr;
    if (mUpdating || !isSectionIndex(mSection) || mCore.getSecInfo(uint8_t(mSection), &rec) != 0 || !rec ||
        rec->barCount == value)
        return 0;
    const auto showStoredBars = [this, rec] {
        UpdateGuard guard(mUpdating);
        if (mSpinBars->value() != rec->barCount)
            mSpinBars->setValue(rec->barCount);
    };
    if (!rec->manualBars) {
        showMessage(tr("#0081 if you want to change bars, turn on manual bars at first!"));
        showStoredBars();
        return 0;
    }
    SectionRecord copy = *rec;
    copy.setPointCount(uint16_t(value));
    const uint32_t r = mCore.setSecInfo(uint8_t(mSection), copy);
    if (r != 0) {
        showMessage(tr("#0082 updating section bars process returns some error! [%1]").arg(hex(r)));
        showStoredBars();
    }
    refreshAfterEdit();
    return r;
}

void MainWindow::valueChangedSpinTempo(int val)
{
    updateTempo(val);
}

uint32_t MainWindow::updateTempo(int value)
{
    CommonInfo* common = nullptr;
    if (mUpdating || mCore.getProjectInfo()->getCommonInfo(&common) != 0 || !common ||
        common->tempo == uint32_t(value))
        return 0;
    const uint32_t r = mCore.updateTempo(uint32_t(value));
    if (r != 0) {
        showMessage(tr("#0079 updating tempo process returns some error! [%1]").arg(hex(r)));
        UpdateGuard guard(mUpdating);
        mSpinTempo->setValue(int(common->tempo));
    }
    refreshAfterEdit();
    return r;
}

// Time signature.

void MainWindow::showProjectMeter()
{
    uint8_t n = 4;
    uint8_t d = 4;
    mCore.getTimeSig(&n, &d);
    const QString meter = QString("%1/%2").arg(n).arg(d);
    UpdateGuard guard(mUpdating);
    if (mLEditBeat->text() != meter)
        mLEditBeat->setText(meter);
    mLEditBeat->setPlaceholderText(meter);
}

void MainWindow::beatTextChanged(QString str)
{
    if (mUpdating)
        return;
    const bool short_ = (str.size() >= 2 && str[1] == '/') || (str.size() == 1 && str != "1");
    const QValidator* old = mLEditBeat->validator();
    mLEditBeat->setValidator(
        new QRegExpValidator(QRegExp(short_ ? "[1-9]{1}/[248]" : "[1-9]{1}[0-9/]{1}/[248]"), mLEditBeat));
    delete old;
    if (str.startsWith('/')) {
        mLEditBeat->clear();
        return;
    }
    // Numerators run from 1 to 12.
    if (str.size() >= 2 && str[1] != '/' && str[1] >= '3') {
        mLEditBeat->setText("1");
        return;
    }
    int n = 0;
    int d = 0;
    if (str.size() == 3 && str[1] == '/') {
        n = str.left(1).toInt();
        d = str.mid(2, 1).toInt();
    } else if (str.size() == 4 && str[2] == '/') {
        n = str.left(2).toInt();
        d = str.mid(3, 1).toInt();
    }
    if (n == 0 || d == 0)
        return;
    if (changeTimeSignature(uint8_t(n), uint8_t(d)) == 0) {
        // The field and its placeholder show what the project holds: the
        // new meter when it was taken, the old one after a Cancel.
        showProjectMeter();
        mLEditBeat->selectAll();
    }
}

void MainWindow::beatEditingFinished()
{
    if (mUpdating)
        return;
    // An unfinished entry falls back; a finished one was taken or refused
    // already, and the project's meter is what the field shows either way.
    showProjectMeter();
}

uint32_t MainWindow::changeTimeSignature(uint8_t beatsPerBar, uint8_t beatUnit)
{
    uint8_t n = 0;
    uint8_t d = 0;
    if (mUpdating || (mCore.getTimeSig(&n, &d) == 0 && n == beatsPerBar && d == beatUnit))
        return 0;
    bool inUse = false;
    for (uint8_t i = 0; i < krm::kSectionCount && !inUse; ++i) {
        SectionRecord* rec = nullptr;
        inUse = mCore.getSecInfo(i, &rec) == 0 && rec && rec->used;
    }
    bool go = true;
    if (inUse) {
        const QString reset = tr("Reset");
        const QString cancel = tr("Cancel");
        go = MessageDialog::showCustomButtons(
                 this, kTitle, tr("Changing the beat will reset all settings of all sections. Continue?"),
                 {{reset, QMessageBox::ResetRole}, {cancel, QMessageBox::RejectRole}}, cancel) == reset;
    }
    uint32_t r = 0;
    if (go) {
        r = mCore.changeTimeSignature(beatsPerBar, beatUnit);
        if (r != 0)
            MessageDialog::showMessage(
                this, kTitle,
                tr("#0080 changing time signature process returns some error! [%1]").arg(hex(r)),
                QMessageBox::Ok, QMessageBox::NoButton);
    }
    refreshAfterEdit();
    mLEditBeat->selectAll();
    return r;
}

// Section flags.

uint32_t MainWindow::setSectionFlag(uint8_t SectionRecord::*flag, bool on, bool checked)
{
    if (mUpdating)
        return 0;
    SectionRecord* rec = nullptr;
    if (const uint32_t e = readCurrentSection(mCore, rec))
        return e;
    if ((rec->*flag != 0) == on)
        return 0;
    SectionRecord copy = *rec;
    copy.*flag = on ? 1 : 0;
    const uint32_t r =
        checked ? mCore.setSecInfo(uint8_t(mSection), copy) : mCore.updateSecInfo(uint8_t(mSection), copy);
    if (r != 0)
        return krm::nest(r, 2);
    if (const uint32_t l = collectSectionLabels())
        return krm::nest(l, 3);
    refreshAfterEdit();
    return 0;
}

uint32_t MainWindow::setSectionFade(bool on)
{
    return setSectionFlag(&SectionRecord::fadeOn, on, false);
}

uint32_t MainWindow::setSectionBlank(bool on)
{
    // The checked edit: the engine also checks the pickup.
    return setSectionFlag(&SectionRecord::pickupOn, on, true);
}

void MainWindow::clickedChkFade(bool checked)
{
    if (const uint32_t r = setSectionFade(checked))
        showMessage(tr("#0108 some error occurs! [%1]").arg(hex(r)));
}

void MainWindow::clickedChkBlank(bool checked)
{
    if (const uint32_t r = setSectionBlank(checked))
        showMessage(tr("#0108 some error occurs! [%1]").arg(hex(r)));
}

uint32_t MainWindow::setSectionManual(bool on)
{
    if (mUpdating)
        return 0;
    // With two or more audio files every assigned section keeps manual
    // bars: switching them off would be undone by the engine's own rule,
    // leaving only a step that changes nothing the user asked for.
    if (!on && waveCount() >= 2) {
        refreshAfterEdit();
        return 0;
    }
    if (const uint32_t r = mCoreWork.assignFrom(mCore))
        return krm::nest(r, 1);
    SectionRecord* rec = nullptr;
    if (const uint32_t e = readCurrentSection(mCoreWork, rec))
        return e;
    if ((rec->manualBars != 0) != on) {
        // Manual bars play without the click; the click comes back with
        // the beat bars.
        if (on) {
            mClickSaved = mClickOn != 0;
            mClickOn = 0;
        } else {
            mClickOn = mClickSaved ? 1 : 0;
        }
        {
            UpdateGuard guard(mUpdating);
            mChkClick->setChecked(mClickOn != 0);
        }
        SectionRecord copy = *rec;
        copy.manualBars = on ? 1 : 0;
        if (const uint32_t r = mCoreWork.setSecInfo(uint8_t(mSection), copy))
            return krm::nest(r, 2);
        if (!on) {
            // Back on the beat grid: the trim snaps to the beat marks again.
            if (mLEditTrimEnd->text().toFloat() > currentWaveSeconds()) {
                mLEditTrimEnd->setText(mLEditTrimEnd->placeholderText());
            } else {
                mLEditTrimEnd->setModified(true);
                updateSectionTrim(&mCoreWork);
            }
        }
        if (const uint32_t r = mCore.setAllInfo(*mCoreWork.getProjectInfo())) {
            mMemoryFull = mCore.hasError();
            return krm::nest(r, 3);
        }
    }
    refreshAfterEdit();
    return 0;
}

void MainWindow::clickedChkManual(bool checked)
{
    if (mUpdating)
        return;
    if (const uint32_t r = setSectionManual(checked)) {
        showMessage(tr("#0108 some error occurs! [%1]").arg(hex(r)));
        return;
    }
    mManualDefault = checked;
    KRMprotoSettings::setManualDefault(checked);
}

void MainWindow::clickedChkClick(bool checked)
{
    if (!mUpdating)
        mClickOn = checked ? 1 : 0;
}

void MainWindow::clickedChkTimeStretch(bool checked)
{
    m_timeStretchOn = checked;
    mTimeStretchDefault = checked;
    KRMprotoSettings::setTimeStretchDefault(checked);
}

// Pickup.

uint32_t MainWindow::setSectionPickup(int halfBeats)
{
    if (mUpdating)
        return 0;
    SectionRecord* rec = nullptr;
    if (const uint32_t e = readCurrentSection(mCore, rec))
        return e;
    uint8_t n = 0;
    uint8_t d = 0;
    const uint32_t t = mCore.getTimeSig(&n, &d);
    if (t != 0 || n == 0)
        return krm::nest(t, 2);
    // One bar of half beats at most.
    halfBeats = std::max(0, std::min(halfBeats, 2 * n - 1));
    SectionRecord copy = *rec;
    copy.pickupHalfBeats = uint8_t(halfBeats);
    if (const uint32_t r = mCore.setSecInfo(uint8_t(mSection), copy))
        return krm::nest(r, 3);
    refreshAfterEdit();
    return 0;
}

void MainWindow::valueChangedSpinPickup(int val)
{
    if (mUpdating)
        return;
    const uint32_t r = setSectionPickup(val);
    if (r != 0 && !mCore.errorText().isEmpty())
        showMessage(mCore.errorText() + "\r\n[" + hex(r) + "]");
    SectionRecord* rec = nullptr;
    if (isSectionIndex(mSection) && mCore.getSecInfo(uint8_t(mSection), &rec) == 0 && rec &&
        mSpinPickup->value() != rec->pickupHalfBeats) {
        UpdateGuard guard(mUpdating);
        mSpinPickup->setValue(rec->pickupHalfBeats);
    }
}

// Beat re-analysis at double or half speed.

void MainWindow::releasedBtnBeatAnaDouble()
{
    beatReanalysis(true);
}

void MainWindow::releasedBtnBeatAnaHalf()
{
    beatReanalysis(false);
}

void MainWindow::beatReanalysis(bool twice)
{
    const int file = mCmbWav->currentIndex();
    WaveInfoRecord* wave = nullptr;
    if (file < 0 || mCore.getWavInfo(uint8_t(file), &wave) != 0 || !wave) {
        showMessage(tr("#0092 no audo file is registerd!"));
        return;
    }
    if (twice && wave->beats.size() > kLongBeatList &&
        MessageDialog::showMessage(this, kTitle, tr("It may take much time. are you sure!"),
                                   QMessageBox::Ok | QMessageBox::Cancel,
                                   QMessageBox::Ok) == QMessageBox::Cancel)
        return;
    uint16_t speed = 0;
    QString text;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const uint32_t r = twice ? doubleBeatSpeed(file, speed, text) : halveBeatSpeed(file, speed, text);
    QApplication::restoreOverrideCursor();
    if (r != 0) {
        if (mMemoryFull)
            showMessage(tr("#0112 memory full"));
        else if (!text.isEmpty())
            showMessage(text);
        else
            showMessage(tr("#0095 Beat detect speed factor limitation! [%1] or returns some error! [%2]")
                            .arg(speed)
                            .arg(hex(r)));
    }
    refreshControls();
}

uint32_t MainWindow::doubleBeatSpeed(int file, uint16_t& speed, QString& text)
{
    return changeBeatSpeed(true, file, speed, text);
}

uint32_t MainWindow::halveBeatSpeed(int file, uint16_t& speed, QString& text)
{
    return changeBeatSpeed(false, file, speed, text);
}

uint32_t MainWindow::changeBeatSpeed(bool twice, int file, uint16_t& speed, QString& text)
{
    mCore.clearError();
    mMemoryFull = false;
    if (const uint32_t r = mCoreWork.assignFrom(mCore)) {
        mMemoryFull = mCoreWork.hasError();
        return krm::nest(r, 1);
    }
    CommonInfo* common = nullptr;
    mCoreWork.getProjectInfo()->getCommonInfo(&common);
    const uint32_t tempo = common ? common->tempo : 120;
    if (const uint32_t r =
            mCoreWork.setTempo(twice ? 1 : 0, uint8_t(file), uint8_t(mSection), 1, speed, text)) {
        mMemoryFull = mCoreWork.hasError();
        return krm::nest(r, 1);
    }
    if (const uint32_t r = mCoreWork.updateTempo(twice ? tempo * 2 : std::max<uint32_t>(1, tempo / 2)))
        return krm::nest(r, 2);
    if (const uint32_t r = resnapSectionToBeats(mCoreWork, mSection))
        return krm::nest(r, 3);
    if (const uint32_t r = mCore.setAllInfo(*mCoreWork.getProjectInfo())) {
        mMemoryFull = mCore.hasError();
        return krm::nest(r, 3);
    }
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
    return 0;
}

uint32_t MainWindow::resnapSectionToBeats(CKRMcore& engine, int section)
{
    if (mChkManual->isChecked() || !isSectionIndex(section))
        return 0;
    SectionRecord* sec = nullptr;
    if (const uint32_t e = engine.getSecInfo(uint8_t(section), &sec); e != 0 || !sec)
        return krm::nest(e, 1);
    if (!sec->used)
        return 0;
    WaveInfoRecord* wave = nullptr;
    if (const uint32_t e = engine.getWavInfoOfSec(uint8_t(section), &wave); e != 0 || !wave)
        return krm::nest(e, 2);
    const BeatGridLayout grid(wave->beats.size(), wave->beatStep, sec->toggle);
    m_beatMarks.clear();
    for (uint64_t i = grid.first; grid.holds(i); i += grid.stride)
        m_beatMarks.push_back(secondsToSamples(wave->beats[size_t(i)]));
    const BeatGridLayout halves(wave->beats.size(), wave->beatStep, 0);
    m_halfBeatMarks.clear();
    for (uint64_t i = 0; halves.holds(i); i += halves.step)
        m_halfBeatMarks.push_back(secondsToSamples(wave->beats[size_t(i)]));
    const uint32_t start = uint32_t(snapToMarks(int32_t(sec->startAdrs), m_beatMarks));
    const uint32_t end = uint32_t(snapToMarks(int32_t(sec->endAdrs), m_beatMarks));
    if (start == sec->startAdrs && end == sec->endAdrs)
        return 0;
    m_selectionStart = int32_t(start);
    m_selectionEnd = int32_t(end);
    SectionRecord copy = *sec;
    copy.startAdrs = start;
    copy.endAdrs = end;
    const uint32_t r = krm::nestOnFail(engine.setSecInfo(uint8_t(section), copy), 3);
    applySelectionToPainters();
    return r;
}

// Half-beat shift.

void MainWindow::releasedBtnBeatToggleShift()
{
    if (mCmbWav->currentIndex() < 0) {
        showMessage(tr("#0092 no audo file is registerd!"));
        return;
    }
    const bool shift = m_beatShiftState == 0;
    if ((shift ? shiftSectionHalfBeat() : unshiftSectionHalfBeat()) != 0)
        return;
    m_beatShiftState = shift ? 1 : 0;
    updateShiftBeatButtonText();
    refreshSection(false);
}

uint32_t MainWindow::shiftSectionHalfBeat()
{
    return moveSectionHalfBeat(true);
}

uint32_t MainWindow::unshiftSectionHalfBeat()
{
    return moveSectionHalfBeat(false);
}

uint32_t MainWindow::moveSectionHalfBeat(bool later)
{
    SectionRecord* rec = nullptr;
    const uint32_t e = isSectionIndex(mSection) ? mCore.getSecInfo(uint8_t(mSection), &rec) : krm::fail(1);
    if (e != 0 || !rec)
        return krm::nest(e, 1);
    const uint8_t w = rec->waveIndex;
    uint32_t startBeat = 0;
    uint32_t endBeat = 0;
    if (const uint32_t r = mCore.beatIndexAtAddress(
            w, rec->toggle, uint32_t(int64_t(rec->startAdrs) + rec->startOffset), startBeat))
        return krm::nest(r, 2);
    if (const uint32_t r = mCore.beatIndexAtAddress(
            w, rec->toggle, uint32_t(int64_t(rec->endAdrs) + rec->endOffset), endBeat))
        return krm::nest(r, 3);
    // Half a beat later: the off-beat of the same beat, or the next
    // on-beat; half a beat earlier the other way round.
    uint8_t toggle = rec->toggle;
    if (later) {
        if (toggle == 1) {
            ++startBeat;
            ++endBeat;
        }
        toggle = toggle == 0 ? 1 : 0;
    } else if (toggle == 1) {
        toggle = 0;
    } else {
        if (startBeat == 0 || endBeat == 0)
            return 0;
        --startBeat;
        --endBeat;
        toggle = 1;
    }
    SectionRecord copy = *rec;
    if (const uint32_t r = mCore.getBeatAdrs(w, toggle, startBeat, copy.startAdrs))
        return krm::nest(r, 4);
    if (const uint32_t r = mCore.getBeatAdrs(w, toggle, endBeat, copy.endAdrs))
        return krm::nest(r, 5);
    copy.toggle = toggle;
    if (const uint32_t r = mCore.setSecInfo(uint8_t(mSection), copy))
        return krm::nest(r, 6);
    refreshControls();
    return 0;
}
