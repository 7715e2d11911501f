#include "KRMundo.h"

#include <QDebug>

KRMundo::KRMundo() : QUndoStack(nullptr)
{ }

void KRMundo::push(QUndoCommand* cmd)
{
    const QString text = cmd ? cmd->text() : QString();
    QUndoStack::push(cmd);
    modified = 1;
    qDebug().noquote() << QString("push -> [%1] / undo count [%2]").arg(text).arg(count());
}

void KRMundo::clear()
{
    QUndoStack::clear();
    modified = 0;
    qDebug().noquote() << QString("clear -> undo index [%1] / undo count [%2]").arg(index()).arg(count());
}

void KRMundo::undo()
{
    QUndoStack::undo();
    if (index() == 0)
        modified = 0;
    qDebug().noquote() << QString("undo -> undo index [%1] / undo count [%2]").arg(index()).arg(count());
}

void KRMundo::redo()
{
    QUndoStack::redo();
    modified = 1;
    qDebug().noquote() << QString("redo -> undo index [%1] / undo count [%2]").arg(index()).arg(count());
}

// ---------------------------------------------------------------- SetAllInfoCommand

SetAllInfoCommand::SetAllInfoCommand(ProjectInfo* target_, const QString& text, const ProjectInfo& source,
                                     const SecWavFlags& flags_, QUndoCommand* parent)
    : QUndoCommand(parent), target(target_)
{
    setText(text);
    if (target) {
        oldInfo.assign(*target);
        newInfo.assign(source);
        flags = flags_;
    }
}

SetAllInfoCommand::~SetAllInfoCommand() = default;

void SetAllInfoCommand::apply(const ProjectInfo& info)
{
    if (!target)
        return;
    if (target->assign(info) != 0)
        return;
    for (uint8_t* f : flags)
        if (f)
            *f = 0;
}

void SetAllInfoCommand::redo()
{
    apply(newInfo);
}
void SetAllInfoCommand::undo()
{
    apply(oldInfo);
}

// ---------------------------------------------------------------- SetComnInfoCommand

SetComnInfoCommand::SetComnInfoCommand(ProjectInfo* target_, const QString& text, const CommonInfo& info,
                                       QUndoCommand* parent)
    : QUndoCommand(parent), target(target_)
{
    setText(text);
    if (target) {
        CommonInfo* cur = nullptr;
        target->getCommonInfo(&cur);
        if (cur)
            oldComn = *cur;
        newComn = info;
    }
}

SetComnInfoCommand::~SetComnInfoCommand() = default;

void SetComnInfoCommand::redo()
{
    if (target)
        target->setCommonInfo(newComn);
}

void SetComnInfoCommand::undo()
{
    if (target)
        target->setCommonInfo(oldComn);
}

// ---------------------------------------------------------------- SetSecInfoCommand

SetSecInfoCommand::SetSecInfoCommand(ProjectInfo* target_, const QString& text, uint8_t index_,
                                     const SectionRecord& rec, uint8_t* flag_, QUndoCommand* parent)
    : QUndoCommand(parent), target(target_)
{
    setText(text);
    SectionRecord* cur = nullptr;
    // With a bad index the command stays inert: its undo and redo must not
    // write a cleared record into some valid slot.
    if (target && index_ < krm::kSectionCount && target->getSection(index_, &cur) == 0 && cur) {
        oldSec = *cur;
        index = index_;
        newSec = rec;
        flag = flag_;
    }
}

SetSecInfoCommand::~SetSecInfoCommand() = default;

void SetSecInfoCommand::apply(const SectionRecord& rec)
{
    if (!target || index >= krm::kSectionCount)
        return;
    target->setSectionInfo(index, rec);
    if (flag)
        *flag = 0;
}

void SetSecInfoCommand::redo()
{
    apply(newSec);
}
void SetSecInfoCommand::undo()
{
    apply(oldSec);
}
