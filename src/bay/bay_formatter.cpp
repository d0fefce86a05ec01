#include "bay/bay_formatter.h"

#include <string>
#include <thread>

#include "platform/system_error.h"

namespace {

class CBayFormatLibrary : public IFormatLibrary {
public:
    CBayFormatLibrary(CBayState& state, bool bHasFormatEx) : m_state(state), m_bHasFormatEx(bHasFormatEx) {}

    bool FindFormatEx() override
    {
        if (!m_bHasFormatEx)
            SetSeamError(SYSERR_PROC_NOT_FOUND);
        return m_bHasFormatEx;
    }

    void FormatEx(const std::wstring& strRoot, uint32_t nMediaFlag, const std::wstring& strFileSystem,
                  const std::wstring& strLabel, int nQuickFormat, uint32_t nClusterSize,
                  FormatExCallbackFn callback) override
    {
        // The system's would jump through a null pointer; the stand-in just reports nothing.
        if (!m_bHasFormatEx || callback == nullptr)
            return;
        m_state.RecordFormatCall({strRoot, nMediaFlag, strFileSystem, strLabel, nQuickFormat, nClusterSize});
        const BayFormatPlan plan = m_state.PlanFormat(strRoot, strFileSystem);
        for (size_t i = 0; i < plan.script.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(plan.stepPause);
            const BayFormatStep& step = plan.script[i];
            if (step.kind == BayFormatStepKind::Done) {
                unsigned char bSucceeded = step.nValue == 1 ? 1 : 0;
                if (callback(FMIFS_DONE, 0, &bSucceeded) != 0 && bSucceeded == 1)
                    m_state.ApplyFormat(strRoot, strFileSystem, strLabel);
                return;
            }
            if (Report(step, callback) == 0)
                return;
        }
    }

private:
    static int Report(const BayFormatStep& step, FormatExCallbackFn callback)
    {
        switch (step.kind) {
        case BayFormatStepKind::Progress: {
            uint32_t nPercent = step.nValue;
            return callback(FMIFS_PROGRESS, 0, &nPercent);
        }
        case BayFormatStepKind::Structure:
            return callback(FMIFS_STRUCTURE_PROGRESS, 0, nullptr);
        case BayFormatStepKind::Error:
            return callback(step.nValue, 0, nullptr);
        case BayFormatStepKind::Text: {
            std::string strText = "Creating file system structures.";
            BayFormatTextOutput output{static_cast<uint32_t>(strText.size()), strText.data()};
            return callback(FMIFS_OUTPUT, 0, &output);
        }
        case BayFormatStepKind::Done:
            break;
        }
        return 0;
    }

    CBayState& m_state;
    const bool m_bHasFormatEx;
};

}  // namespace

std::unique_ptr<IFormatLibrary> CBayFormatter::LoadFormatLibrary()
{
    switch (m_state.FormatterPresence()) {
    case BayFormatterPresence::NoLibrary:
        SetSeamError(SYSERR_MOD_NOT_FOUND);
        return nullptr;
    case BayFormatterPresence::NoFormatEx:
        return std::make_unique<CBayFormatLibrary>(m_state, false);
    case BayFormatterPresence::Present:
        break;
    }
    return std::make_unique<CBayFormatLibrary>(m_state, true);
}
