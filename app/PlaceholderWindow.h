#pragma once
// The window of a run until the main window exists: titled "Stelvano", the
// target of file-open events, which it logs.
#include <QWidget>

class PlaceholderWindow : public QWidget {
public:
    // `startFile`: the project named on the command line, or empty.
    explicit PlaceholderWindow(const QString& startFile);

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    bool m_shownOnce = false;
};
