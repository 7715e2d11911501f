#include "ExportStyle.h"

#include "CKRMcore.h"
#include "ResultCode.h"

ExportStyle::ExportStyle(Preparation preparation, CKRMcore* core, const QString& path, QWidget* owner)
    : m_preparation(std::move(preparation)), m_core(core), m_path(path), m_owner(owner)
{ }

ExportStyle::~ExportStyle() = default;

void ExportStyle::doExport()
{
    m_core->clearError();
    const uint32_t prepared = m_preparation ? m_preparation() : krm::fail(1);
    if (prepared != 0) {
        emit errorOnPreparation(prepared);
        return;
    }
    writtenBytes = 0;
    warningMask = 0;
    // Only the attack mask is reported; the beat and sync masks are not
    // shown to the user.
    uint16_t beatMask = 0;
    uint16_t syncMask = 0;
    const uint32_t r =
        m_core->exportSty(m_path.toStdWString(), writtenBytes, warningMask, beatMask, syncMask);
    if (r == 0 && warningMask == 0)
        emit done(0);
    else
        emit errorOnPreparation(r);
}
