#include "ui/slot_error_text.h"

#include "app/message_catalogue.h"
#include "engine/slot_result.h"
#include "platform/system_messages.h"

std::wstring GetSlotErrorTitle(int nCode)
{
    switch (nCode) {
    case SR_NO_SPACE: return GetMessageText(MSG_NO_SPACE);
    case SR_FAT16_FILE_LIMIT: return GetMessageText(MSG_FAT16_LIMIT);
    case SR_FAT32_FILE_LIMIT: return GetMessageText(MSG_FAT32_LIMIT);
    case SR_INVALID_SOURCE: return GetMessageText(MSG_INVALID_SOURCE);
    case SR_CANCELLED: return GetMessageText(MSG_USER_CANCELED);
    case SR_FORMAT_FAILED: return GetMessageText(MSG_FORMAT_FAILED);
    case SR_COPY_FAILED: return GetMessageText(MSG_COPY_FAILED);
    case SR_VERIFY_FAILED: return GetMessageText(MSG_VERIFY_FAILED);
    default: return L"Unknown Error!";
    }
}

std::wstring FormatSlotErrorBody(int nCode)
{
    // "%s : [%d]"
    return std::wstring(GetMessageText(MSG_ERROR_CODE)) + L" : [" + std::to_wstring(nCode) + L"]";
}

bool BuildSlotErrorMessage(const std::wstring& strStatus, std::wstring& strTitle, std::wstring& strBody)
{
    int nCode = 0;
    if (!ParseSlotErrorCode(strStatus, nCode))
        return false;
    strTitle = GetSlotErrorTitle(nCode);
    strBody = FormatSlotErrorBody(nCode);
    return true;
}

std::wstring GetFailStepText(int nStep)
{
    switch (nStep) {
    case FAIL_STEP_OPENING: return GetMessageText(MSG_STEP_OPENING);
    case FAIL_STEP_LOCKING: return GetMessageText(MSG_STEP_LOCKING);
    case FAIL_STEP_DISMOUNTING: return GetMessageText(MSG_STEP_DISMOUNTING);
    case FAIL_STEP_MEASURING: return GetMessageText(MSG_STEP_MEASURING);
    case FAIL_STEP_READING_SOURCE: return GetMessageText(MSG_STEP_READING_SOURCE);
    case FAIL_STEP_WRITING: return GetMessageText(MSG_STEP_WRITING);
    case FAIL_STEP_FLUSHING: return GetMessageText(MSG_STEP_FLUSHING);
    case FAIL_STEP_READING_BACK: return GetMessageText(MSG_STEP_READING_BACK);
    case FAIL_STEP_LISTING: return GetMessageText(MSG_STEP_LISTING);
    case FAIL_STEP_MAKING_FOLDER: return GetMessageText(MSG_STEP_MAKING_FOLDER);
    case FAIL_STEP_COPYING_FILE: return GetMessageText(MSG_STEP_COPYING_FILE);
    case FAIL_STEP_CHECKING_DRIVE: return GetMessageText(MSG_STEP_CHECKING_DRIVE);
    case FAIL_STEP_FORMATTING: return GetMessageText(MSG_STEP_FORMATTING);
    default: return std::wstring();
    }
}

std::wstring FormatSlotReasonLine(const SlotFailure& failure, const std::wstring& strDevice,
                                  ISystemMessages& messages)
{
    const std::wstring strStep = GetFailStepText(failure.nStep);
    if (!failure.HasReason() || strStep.empty())
        return std::wstring();
    std::wstring strLine = strStep + L" " + strDevice;
    std::wstring strText;
    if (messages.DescribeError(failure.nError, strText))
        strLine += L" " + strText;
    return strLine + L" (" + std::to_wstring(failure.nError) + L")";
}

bool BuildSlotErrorMessage(const std::wstring& strStatus, const SlotFailure& failure, const std::wstring& strDevice,
                           ISystemMessages& messages, std::wstring& strTitle, std::wstring& strBody)
{
    if (!BuildSlotErrorMessage(strStatus, strTitle, strBody))
        return false;
    const std::wstring strLine = FormatSlotReasonLine(failure, strDevice, messages);
    if (!strLine.empty())
        strBody += L"\r\n" + strLine;
    return true;
}
