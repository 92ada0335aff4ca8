#pragma once

#include <QString>
#include <optional>

// One call of the viewer at a time and the answer its handlers give while it runs: what the
// viewer control keeps around FlashCall and SetReturnValue, whichever web view it sits on.
class FlashCallDelivery {
public:
    // Runs `emitCall` (which emits FlashCall) as the call in progress. The answer is the last
    // value a handler set with SetReturnValue meanwhile; nothing when none did, when a handler
    // failed, or when another call is still in progress (the viewer's calls do not nest).
    template <typename EmitCall> std::optional<QString> Deliver(EmitCall&& emitCall) {
        if (m_inCall) {
            return std::nullopt;
        }
        m_inCall = true;
        m_answered = false;
        m_returnValue.clear();
        try {
            emitCall();
        } catch (...) {
            // A handler's failure leaves the call unanswered; it must not unwind into the engine.
            m_answered = false;
        }
        m_inCall = false;
        return m_answered ? std::optional<QString>(m_returnValue) : std::nullopt;
    }

    // The answer of the call in progress; outside a call it is ignored.
    void SetReturnValue(const QString& value) {
        if (m_inCall) {
            m_returnValue = value;
            m_answered = true;
        }
    }

    bool InCall() const { return m_inCall; }

private:
    bool m_inCall = false;
    bool m_answered = false;
    QString m_returnValue;
};
