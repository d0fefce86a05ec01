#pragma once
// What a slot's error balloon says about the code its status shows, in the
// current language. Portable: the balloon window only displays it.

#include <string>

#include "engine/slot_failure.h"

class ISystemMessages;

// False, with nothing set, for a status that shows no error.
bool BuildSlotErrorMessage(const std::wstring& strStatus, std::wstring& strTitle, std::wstring& strBody);

// The balloon's title for a code; "Unknown Error!" for a code no driver sets.
std::wstring GetSlotErrorTitle(int nCode);
// The balloon's body: "Error Code : [5]" in English.
std::wstring FormatSlotErrorBody(int nCode);

// The step in the current language ("Writing"); empty for no step.
std::wstring GetFailStepText(int nStep);

// The line under the body that says why: the step, the drive, the system's
// text for the reason and its number, "Writing G: The device is not ready.
// (21)". Empty for a failure without a system reason, whose balloon stays
// as it always was; a number the system has no text for shows alone.
std::wstring FormatSlotReasonLine(const SlotFailure& failure, const std::wstring& strDevice,
                                  ISystemMessages& messages);

// The message with the reason's line below the body, when it has one.
bool BuildSlotErrorMessage(const std::wstring& strStatus, const SlotFailure& failure, const std::wstring& strDevice,
                           ISystemMessages& messages, std::wstring& strTitle, std::wstring& strBody);
