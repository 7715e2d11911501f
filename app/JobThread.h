#pragma once
// Ending a background job's thread. A QThread deleted while it still runs
// aborts the program, and a thread told to quit has not finished yet: its
// event loop first returns from the slot it is in. Every owner of a job
// thread ends it through this helper, at teardown and when a new job of
// the same kind replaces the old one.
class QThread;

// Asks the thread's event loop to quit, waits for the thread without a time
// limit, deletes it and sets the pointer to null. Nothing for a null
// pointer. Call it on the thread that owns the QThread object, never from
// the job thread itself. The job's worker may be deleted afterwards.
void endJobThread(QThread*& thread);
