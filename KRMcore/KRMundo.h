#pragma once
// The engine's undo stack and the three edit commands it holds. Each user
// step is a macro with one command; the commands keep whole copies of what
// they change and write the old or the new copy back on undo and redo.
#include "ProjectInfo.h"

#include <QUndoCommand>
#include <QUndoStack>
#include <array>
#include <cstdint>

// Keeps the project's modified flag in place of QUndoStack's clean state,
// and logs every push, clear, undo and redo to Qt's debug output.
class KRMundo : public QUndoStack {
public:
    KRMundo();

    virtual void push(QUndoCommand* cmd);
    virtual void clear();
    virtual void undo();
    virtual void redo();

    bool isModified() const { return modified != 0; }

private:
    uint8_t modified = 0;
};

using SecWavFlags = std::array<uint8_t*, krm::kSectionCount>;

// Replaces the whole project. Undo and redo clear all present flags.
class SetAllInfoCommand : public QUndoCommand {
public:
    SetAllInfoCommand(ProjectInfo* target, const QString& text, const ProjectInfo& source,
                      const SecWavFlags& flags, QUndoCommand* parent = nullptr);
    ~SetAllInfoCommand() override;
    void undo() override;
    void redo() override;

private:
    void apply(const ProjectInfo& info);

    ProjectInfo* target;
    ProjectInfo oldInfo;
    ProjectInfo newInfo;
    SecWavFlags flags {};
};

// Replaces the common information; no section flag changes.
class SetComnInfoCommand : public QUndoCommand {
public:
    SetComnInfoCommand(ProjectInfo* target, const QString& text, const CommonInfo& info,
                       QUndoCommand* parent = nullptr);
    ~SetComnInfoCommand() override;
    void undo() override;
    void redo() override;

private:
    ProjectInfo* target;
    CommonInfo oldComn;
    CommonInfo newComn;
};

// Replaces one section. Undo and redo clear that section's flag.
class SetSecInfoCommand : public QUndoCommand {
public:
    SetSecInfoCommand(ProjectInfo* target, const QString& text, uint8_t index, const SectionRecord& rec,
                      uint8_t* flag, QUndoCommand* parent = nullptr);
    ~SetSecInfoCommand() override;
    void undo() override;
    void redo() override;

private:
    void apply(const SectionRecord& rec);

    ProjectInfo* target;
    uint8_t index = krm::kSectionCount;  // stays out of range unless valid
    SectionRecord oldSec;
    SectionRecord newSec;
    uint8_t* flag = nullptr;
};
