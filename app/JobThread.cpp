#include "JobThread.h"

#include <QThread>

void endJobThread(QThread*& thread)
{
    if (!thread)
        return;
    thread->quit();
    thread->wait();
    delete thread;
    thread = nullptr;
}
