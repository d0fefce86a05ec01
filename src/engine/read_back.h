#pragma once
// What the read-back check (Verify) of both copies shares.

// With the check, a slot's bar reaches this once the writing is done and 100
// once the check is: the check reads as much as the writing wrote.
constexpr int VERIFY_BAR_SPLIT = 50;
