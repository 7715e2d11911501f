#pragma once
// The last error of a manager or job: a text and a flag behind the three
// operations every manager interface offers (error text, clear error, has
// error). The engine clears them together and reports an error when any of
// them is set.
#include <QString>

#include <cstdint>

namespace krm {

class ErrorState {
public:
    QString errorText() const { return m_text; }
    void clearError()
    {
        m_text.clear();
        m_flag = false;
    }
    bool hasError() const { return m_flag; }

    // Records a failure; the text replaces any earlier one.
    void setError(const QString& text)
    {
        m_text = text;
        m_flag = true;
    }
    // Records a failure only when none is recorded yet, so the first cause
    // of a chain of failures is the one reported.
    void setErrorOnce(const QString& text)
    {
        if (!m_flag)
            setError(text);
    }
    // Raises the flag alone, for a failure that has no text of its own (a
    // lack of memory in a file manager, an exception caught by the engine).
    void raiseFlag() { m_flag = true; }
    // Replaces the text alone; the flag keeps its state. The engine's text
    // reports what went wrong in an edit without marking an error by itself.
    void setText(const QString& text) { m_text = text; }
    // Sets the text alone when there is none yet: the first message of a
    // chain of failures is the one that stays. The flag keeps its state, so
    // a failure that is no lack of memory is not reported as one.
    void setTextOnce(const QString& text)
    {
        if (m_text.isEmpty())
            m_text = text;
    }

private:
    QString m_text;
    bool m_flag = false;
};

}  // namespace krm
