#pragma once
// The main of a benchmark program that opens the program's windows.
#include <QString>

#include <chrono>
#include <memory>

class MainWindow;

// Runs the benchmarks named on the command line with Qt's debug output
// dropped, the settings in a folder of the run, offscreen, and the null
// output as the only audio device; any message box is answered with its
// default, and the boxes that showed are reported under `name` at the end.
int runWindowBenchmarks(int argc, char** argv, const char* name);

// A main window of 1200 x 700 with `project` open (none when empty), shown,
// exposed and painted once.
std::unique_ptr<MainWindow> openWindow(const QString& project);

// Milliseconds from `t0` to now, on the steady clock.
inline double msSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}
