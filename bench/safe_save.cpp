// One save of a 64 KiB file through the safe save, in a folder that holds
// N other files (a music folder whose takes are analysed one by one: each
// wave-info save looks through the folder for its own left-overs), against
// Qt's QSaveFile on the same data in the same folder. The complexity fit
// over N shows how the look-through grows (linear is the goal); the sync
// to the disk is part of both and dominates a small folder.
#include "FileUtil.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kBytes = 64 * 1024;

// A folder with `n` empty files beside the target.
struct Folder {
    QTemporaryDir dir;
    explicit Folder(int n)
    {
        for (int i = 0; i < n; ++i) {
            QFile f(dir.filePath(QString("take %1.wav").arg(i)));
            f.open(QIODevice::WriteOnly);
        }
    }
    QString target() const { return dir.filePath("take 0.awi"); }
};

void BM_SafeSave(benchmark::State& state)
{
    const Folder folder(int(state.range(0)));
    const QByteArray data(kBytes, 'x');
    for (auto _ : state) {
        const krm::SaveOutcome r =
            krm::saveFileReplacing(folder.target(), {{data.constData(), size_t(data.size())}});
        if (r != krm::SaveOutcome::Saved)
            state.SkipWithError("save failed");
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}

void BM_QSaveFile(benchmark::State& state)
{
    const Folder folder(int(state.range(0)));
    const QByteArray data(kBytes, 'x');
    for (auto _ : state) {
        QSaveFile f(folder.target());
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit())
            state.SkipWithError("save failed");
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}

}  // namespace

// Folders of 1x, 4x, 16x and 64x a thousand files.
void folderSizes(benchmark::internal::Benchmark* b)
{
    for (int n : {1000, 4000, 16000, 64000})
        b->Arg(n);
    b->Complexity()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_SafeSave)->Apply(folderSizes);
BENCHMARK(BM_QSaveFile)->Apply(folderSizes);

BENCHMARK_MAIN();
