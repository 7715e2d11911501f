// Factory of the manager whose work is not part of this build yet: the
// style manager. It keeps the settings it is given but refuses every piece
// of real work with a failure code and an error text, so that no caller
// mistakes a missing manager for a successful one.
#include "IF_styMngr.h"
#include "base/ErrorState.h"
#include "base/ResultCode.h"


namespace {

// The error state of a manager that is not built: every piece of real work
// is refused with a failure code and the text that says so.
class Unavailable : public krm::ErrorState {
public:
    explicit Unavailable(const char* text) : m_unavailableText(text) { }
    uint32_t refuse()
    {
        setError(QString::fromLatin1(m_unavailableText));
        return krm::fail(1);
    }

private:
    const char* m_unavailableText;
};

class PendingStyMngr : public IF_styMngr {
public:
    uint32_t exportStyle(const std::wstring&, uint32_t& size, uint16_t& attackMask, uint16_t& beatMask,
                         uint16_t& syncMask) override
    {
        size = 0;
        attackMask = beatMask = syncMask = 0;
        return m_errors.refuse();
    }
    uint32_t setStyleInfo(const StyleInfo&) override { return m_errors.refuse(); }
    uint32_t setSectionAudio(const char*, uint32_t, const char*, uint32_t, const char*, uint32_t, int32_t,
                             uint8_t*, uint8_t*, uint8_t*) override
    {
        return m_errors.refuse();
    }
    // There is no audio model to clear.
    uint32_t clearAudio() override { return krm::kOk; }

    uint8_t sectionToStyleId(uint8_t index) override
    {
        static const uint8_t ids[krm::kSectionCount] = {8, 9, 10, 0, 1, 2, 3, 4, 5, 6, 7, 17, 12, 13, 14};
        return index < krm::kSectionCount ? ids[index] : 0;
    }
    uint8_t sectionToStyleSlot(uint8_t index) override
    {
        static const uint8_t slotNumbers[krm::kSectionCount] = {3, 9,  15, 0, 6, 12, 18, 1,
                                                                7, 13, 19, 8, 4, 10, 16};
        return index < krm::kSectionCount ? slotNumbers[index] : 0;
    }

    QString errorText() override { return m_errors.errorText(); }
    void clearError() override { m_errors.clearError(); }
    bool hasError() override { return m_errors.hasError(); }

    void setTemplatePath(const QString& path) override { m_templatePath = path; }
    int32_t setMaxPoints(int32_t n) override { return m_maxPoints = n; }
    int32_t maxPoints() override { return m_maxPoints; }
    int32_t setLimitB(int32_t n) override { return m_limitB = n; }
    int32_t limitB() override { return m_limitB; }
    int32_t setLimitC(int32_t n) override { return m_limitC = n; }
    int32_t limitC() override { return m_limitC; }

private:
    Unavailable m_errors {"style manager is not available in this build"};
    QString m_templatePath;
    int32_t m_maxPoints = 1024;
    int32_t m_limitB = 256;
    int32_t m_limitC = 256;
};

}  // namespace

IF_styMngr* createStyMngr()
{
    return new PendingStyMngr();
}
