// Factory of the manager whose work is not part of this build yet: the
// style manager. It keeps the settings it is given but refuses every piece
// of real work with a failure code and an error text, so that no caller
// mistakes a missing manager for a successful one.
#include "IF_styMngr.h"
#include "base/ResultCode.h"

namespace {

// The error trio of the manager below.
class ErrorState {
public:
    explicit ErrorState(const char* unavailable) : unavailableText(unavailable) { }

    uint32_t refuse()
    {
        text = unavailableText;
        flag = 1;
        return krm::fail(1);
    }
    QString errorText() const { return text; }
    void clearError()
    {
        text.clear();
        flag = 0;
    }
    bool hasError() const { return flag != 0; }

private:
    QString unavailableText;
    QString text;
    uint8_t flag = 0;
};

class PendingStyMngr : public IF_styMngr {
public:
    uint32_t exportStyle(const std::wstring&, uint32_t& size, uint16_t& attackMask, uint16_t& beatMask,
                         uint16_t& syncMask) override
    {
        size = 0;
        attackMask = beatMask = syncMask = 0;
        return err.refuse();
    }
    uint32_t setStyleInfo(const StyleInfo&) override { return err.refuse(); }
    uint32_t setSectionAudio(const char*, uint32_t, const char*, uint32_t, const char*, uint32_t, int32_t,
                             uint8_t*, uint8_t*, uint8_t*) override
    {
        return err.refuse();
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

    QString errorText() override { return err.errorText(); }
    void clearError() override { err.clearError(); }
    bool hasError() override { return err.hasError(); }

    void setTemplatePath(const QString& path) override { templatePath = path; }
    int32_t setMaxPoints(int32_t n) override { return maxPoints_ = n; }
    int32_t maxPoints() override { return maxPoints_; }
    int32_t setLimitB(int32_t n) override { return limitB_ = n; }
    int32_t limitB() override { return limitB_; }
    int32_t setLimitC(int32_t n) override { return limitC_ = n; }
    int32_t limitC() override { return limitC_; }

private:
    ErrorState err {"style manager is not available in this build"};
    QString templatePath;
    int32_t maxPoints_ = 1024;
    int32_t limitB_ = 256;
    int32_t limitC_ = 256;
};

}  // namespace

IF_styMngr* createStyMngr()
{
    return new PendingStyMngr();
}
