#include "ui/slot_error_text.h"

#include "app/message_catalogue.h"
#include "engine/slot_result.h"

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
