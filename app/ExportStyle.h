#pragma once
// The export job of the main window: has the window write every section's
// working audio, then writes the style file through the project engine.
// One job per object: the window moves it to a thread of its own, invokes
// doExport once (queued) and receives one signal.
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class CKRMcore;
class QWidget;

class ExportStyle : public QObject {
    Q_OBJECT
public:
    // Runs on the job's thread before the export; 0 lets the export go on.
    using Preparation = std::function<uint32_t()>;

    // `preparation` is required. `core` is the window's project engine and
    // `owner` the window; neither is owned, and the object has no Qt parent
    // so that it can move to its thread.
    ExportStyle(Preparation preparation, CKRMcore* core, const QString& path, QWidget* owner);
    ~ExportStyle() override;

    const QString& outputPath() const { return m_path; }

    // Results, readable after the signal until the object is destroyed:
    // the byte count the engine wrote, and one bit per section whose
    // playback control points reached the export's limit. The mask is
    // filled before the file is written: it tells of a written file only
    // when the job reported 0.
    uint32_t writtenBytes = 0;
    uint16_t warningMask = 0;

signals:
    // Any failure: the preparation's code, the export's code, or 0 for an
    // export that wrote the file with warnings (warningMask set).
    void errorOnPreparation(unsigned long lErr);
    // Complete success (always 0).
    void done(unsigned long lErr);

public slots:
    // The job. The engine writes beside the target and replaces it only
    // when the whole file is written, so the job itself deletes nothing: a
    // failure leaves an existing target as it was, and a complete write
    // stays even when the engine raised its error flag on the way.
    void doExport();

private:
    Preparation m_preparation;
    CKRMcore* m_core;
    QString m_path;
    QWidget* m_owner;
};
