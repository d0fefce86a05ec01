#pragma once
// Every text that code puts on the screen, in the four languages the program
// speaks. The language is chosen once at start-up and fixed afterwards.

#include <cstdint>

enum MessageRowId : int {
    MSG_SELECT_SOURCE_FOLDER,
    MSG_SELECT_USB_DRIVE,
    MSG_NO_DRIVE,
    MSG_FORMAT_WARNING,
    MSG_CANCEL_QUESTION,
    MSG_FORMAT_FAILED,
    MSG_COPY_FAILED,
    MSG_INVALID_SOURCE,
    MSG_NO_SPACE,
    MSG_FAT16_LIMIT,
    MSG_FAT32_LIMIT,
    MSG_USER_CANCELED,
    MSG_ERROR_CODE,
    MSG_START,
    MSG_DOWNLOAD_QUESTION,
    MSG_SELECT_FOLDER,
    MSG_DONT_SHOW_AGAIN,
    MSG_OK,
    MSG_CANCEL,
    MSG_VERIFY_FAILED,
    // The steps a drive may fail at, each followed by its drive ("Writing G:")
    // in the line under an error balloon's body.
    MSG_STEP_OPENING,
    MSG_STEP_LOCKING,
    MSG_STEP_DISMOUNTING,
    MSG_STEP_MEASURING,
    MSG_STEP_READING_SOURCE,
    MSG_STEP_WRITING,
    MSG_STEP_FLUSHING,
    MSG_STEP_READING_BACK,
    MSG_STEP_LISTING,
    MSG_STEP_MAKING_FOLDER,
    MSG_STEP_COPYING_FILE,
    MSG_STEP_CHECKING_DRIVE,
    MSG_STEP_FORMATTING,
    MSG_ROW_COUNT
};

enum CatalogueColumn : int {
    CATALOGUE_COLUMN_KOREAN = 0,
    CATALOGUE_COLUMN_ENGLISH = 1,
    CATALOGUE_COLUMN_JAPANESE = 2,
    CATALOGUE_COLUMN_CHINESE = 3,
    CATALOGUE_COLUMN_COUNT = 4,
};

struct MessageRow {
    const wchar_t* pszText[CATALOGUE_COLUMN_COUNT];
};

constexpr uint32_t LANG_ID_KOREAN = 0x0412;
constexpr uint32_t LANG_ID_ENGLISH_US = 0x0409;
constexpr uint32_t LANG_ID_JAPANESE = 0x0411;
constexpr uint32_t LANG_ID_CHINESE_PRC = 0x0804;

extern const MessageRow g_messageCatalogue[MSG_ROW_COUNT];

// The user-interface language (a LANGID). Written once at start-up, before
// any other thread exists; only read afterwards.
extern uint32_t g_uiLangId;

// Whole LANGIDs compare: English other than the US and Chinese other than the
// PRC read the English column, as does every other language.
CatalogueColumn GetCatalogueColumn(uint32_t nLangId);

// Constant text of the row in the current language, valid for the process's life.
const wchar_t* GetMessageText(MessageRowId row);
