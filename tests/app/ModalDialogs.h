#pragma once
// Answering a modal dialog that code under test runs with exec(): while the
// object lives, a timer looks for the dialog inside its event loop.
#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

namespace testutil {

// Calls `answer` once with the first modal dialog of type D that shows (the
// answer must end it, or its exec never returns).
template <typename D> class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(D&)> answer) : m_answer(std::move(answer))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
                m_timer.stop();
                m_seen = true;
                m_answer(*dialog);
            }
        });
        m_timer.start(10);
    }
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    // Whether the dialog showed.
    bool seen() const { return m_seen; }

private:
    std::function<void(D&)> m_answer;
    QTimer m_timer;
    bool m_seen = false;
};

}  // namespace testutil
