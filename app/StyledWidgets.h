#pragma once
// The input controls of the program's windows. Whatever control has the
// focus, the window's own keys reach the window: undo and redo (Ctrl+Z,
// Ctrl+Y), playback (Space), Escape, and select-all (Ctrl+A) from line edits
// and spin boxes. Each control hands such a key to its parent widget, from
// where it travels up to the window; for the editing keys and Escape it also
// gives up the focus. Only the Control modifier is looked at, so Ctrl+Shift+Z
// counts as Ctrl+Z. Every other key gets the control's usual handling,
// except that the shortcuts of the window's actions (Ctrl+E, Ctrl+S, ...)
// fire from every control as they do from the window: a control never
// claims one of them for its own editing keys.
//
// VFrame is the waveform canvas: it passes every mouse move on to a receiver
// widget, in the receiver's coordinates.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

class VLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit VLineEdit(QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// Keypad Enter is passed on; Return commits the typed value as usual.
class VSpinBox : public QSpinBox {
    Q_OBJECT
public:
    explicit VSpinBox(QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// Ctrl+A stays with the combo box.
class VComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit VComboBox(QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// Space never toggles the box from the keyboard.
class VCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit VCheckBox(QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// Space never clicks the button from the keyboard.
class VPushButton : public QPushButton {
    Q_OBJECT
public:
    explicit VPushButton(QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

class VFrame : public QFrame {
    Q_OBJECT
public:
    explicit VFrame(QWidget* parent);

    // Gets every mouse move over the frame, mapped into its own coordinates,
    // with the same type, buttons and modifiers, before the move returns.
    // Null (the default): moves over the frame have no effect at all. Not
    // owned; the owning window sets it after building its form.
    QWidget* m_pReceiver;

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};
