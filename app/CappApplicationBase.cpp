#include "CappApplicationBase.h"

#include "CappApplicationPrivate_linux.h"

namespace Tessaro {

CappApplicationBase::CappApplicationBase(int& argc, char** argv, int version)
    : QApplication(argc, argv, version), m_platform(new CappApplicationPrivate_linux(argc, argv))
{
    installNativeEventFilter(m_platform.data());
}

CappApplicationBase::~CappApplicationBase()
{
    removeNativeEventFilter(m_platform.data());
}

}  // namespace Tessaro
