#pragma once
// The application object's base: a QApplication that makes sure only one
// instance of the program runs. A second start hands its files to the
// running instance and leaves the constructor by throwing the int 0, before
// any window is built.
#include "CappApplicationPrivateIF.h"

#include <QApplication>
#include <QSharedPointer>

namespace Tessaro {

class CappApplicationBase : public QApplication {
public:
    // `version` is the Qt version the program is written for (QApplication's
    // third argument).
    CappApplicationBase(int& argc, char** argv, int version = ApplicationFlags);
    ~CappApplicationBase() override;

    // The platform object; it lives as long as the application object.
    CappApplicationPrivateIF* platform() const { return m_platform.data(); }

private:
    QSharedPointer<CappApplicationPrivateIF> m_platform;
};

}  // namespace Tessaro
