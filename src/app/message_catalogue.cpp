#include "app/message_catalogue.h"

uint32_t g_uiLangId = LANG_ID_ENGLISH_US;

// Columns: Korean, English, Japanese, Chinese. The Chinese column carries the
// English texts; the odd spaces of some texts are the product's own.
const MessageRow g_messageCatalogue[MSG_ROW_COUNT] = {
    /* MSG_SELECT_SOURCE_FOLDER */ {{L"소스 폴더를 선택하여 주십시오.",
        L"Please select the source folder.",
        L"ソースフォルダを選択してください。",
        L"Please select the source folder."}},
    /* MSG_SELECT_USB_DRIVE */ {{L"USB 드라이브를 선택하십시오.",
        L"Please select a USB drive.",
        L"USBメモリを選択してください。",
        L"Please select a USB drive."}},
    /* MSG_NO_DRIVE */ {{L"현재 접속된 드라이브가 없습니다.",
        L"No drive is connected.",
        L"接続されているUSBメモリがありません。",
        L"No drive is connected."}},
    /* MSG_FORMAT_WARNING */ {{L"드라이브를 초기화하면 모든 자료가 삭제됩니다.\r\n초기화를 계속 하시겠습니까?",
        L"If you format the USB flash drive, all data in the device will be erased. \r\n Are you sure you want to continue?",
        L"USBメモリをフォーマットするとすべてのデータが削除されます。\r\nフォーマットを続けますか？",
        L"If you format the USB flash drive, all data in the device will be erased. \r\n Are you sure you want to continue?"}},
    /* MSG_CANCEL_QUESTION */ {{L"작업을 취소하시겠습니까?",
        L"Do you want to cancel the task ?",
        L"操作をキャンセルしますか？",
        L"Do you want to cancel the task ?"}},
    /* MSG_FORMAT_FAILED */ {{L"매체 포맷을 실패하였습니다.",
        L"Failed to format the device.",
        L"デバイスフォーマットに失敗しました。",
        L"Failed to format the device."}},
    /* MSG_COPY_FAILED */ {{L"폴더 복사를 실패하였습니다.",
        L"Failed to copy the folder.",
        L"フォルダのコピーに失敗しました。",
        L"Failed to copy the folder."}},
    /* MSG_INVALID_SOURCE */ {{L"소스 폴더가 유효하지 않습니다.",
        L"The source folder is invalid.",
        L"ソースフォルダが無効です。",
        L"The source folder is invalid."}},
    /* MSG_NO_SPACE */ {{L"디스크의 여유 공간이 부족합니다.",
        L"There is no enough space on the disk.",
        L"ディスクの余裕空間が不足しています。",
        L"There is no enough space on the disk."}},
    /* MSG_FAT16_LIMIT */ {{L"이동식 디스크의 파일시스템이 FAT16인 경우 2GB 이상의 단일 파일을 복사할 수 없습니다.",
        L"A single image file larger than 2GB cannot be copied to a FAT16 removable disk.",
        L"2GB以上の 単一イメージファイルはFAT16デバイスにコピーすることができません。",
        L"A single image file larger than 2GB cannot be copied to a FAT16 removable disk."}},
    /* MSG_FAT32_LIMIT */ {{L"이동식 디스크의 파일시스템이 FAT32인 경우 4GB 이상의 단일 파일을 복사할 수 없습니다.",
        L"A single image file larger than 4GB cannot be copied to a FAT32 removable disk.",
        L"4GB以上の 単一イメージファイルはFAT32デバイスにコピーすることができません。",
        L"A single image file larger than 4GB cannot be copied to a FAT32 removable disk."}},
    /* MSG_USER_CANCELED */ {{L"사용자가 작업을 취소하였습니다.",
        L"User canceled the task.",
        L"ユーザーが操作をキャンセルしました。",
        L"User canceled the task."}},
    /* MSG_ERROR_CODE */ {{L"오류 코드",
        L"Error Code",
        L"エラーコード",
        L" Error Code "}},
    /* MSG_START */ {{L"시작",
        L"Start",
        L"開始",
        L"Start"}},
    /* MSG_DOWNLOAD_QUESTION */ {{L"CORVANTIS USB Copy 최신 버전을 다운로드 하시겠습니까?",
        L"Will you download a new version of CORVANTIS USB Copy ?",
        L"CORVANTIS USB Copyの最新バージョンをダウンロードしますか？",
        L"Will you download a new version of CORVANTIS USB Copy ?"}},
    /* MSG_SELECT_FOLDER */ {{L"폴더 선택",
        L"Select Folder",
        L"フォルダ選択",
        L"Select Folder"}},
    /* MSG_DONT_SHOW_AGAIN */ {{L"이 메시지를 다시 표시하지 않음",
        L"Do not show this message again",
        L"今後、このメッセー ジを表示しない",
        L"Do not show this message again"}},
    /* MSG_OK */ {{L"확인",
        L"OK",
        L"OK",
        L"OK"}},
    /* MSG_CANCEL */ {{L"취소",
        L"Cancel",
        L"キャンセル",
        L"Cancel"}},
    /* MSG_VERIFY_FAILED */ {{L"드라이브에서 다시 읽은 데이터가 원본과 일치하지 않습니다.",
        L"The data read back from the drive does not match the source.",
        L"ドライブから読み戻したデータがソースと一致しません。",
        L"The data read back from the drive does not match the source."}},
};

CatalogueColumn GetCatalogueColumn(uint32_t nLangId)
{
    switch (nLangId) {
    case LANG_ID_KOREAN:
        return CATALOGUE_COLUMN_KOREAN;
    case LANG_ID_JAPANESE:
        return CATALOGUE_COLUMN_JAPANESE;
    case LANG_ID_CHINESE_PRC:
        return CATALOGUE_COLUMN_CHINESE;
    default:
        return CATALOGUE_COLUMN_ENGLISH;
    }
}

const wchar_t* GetMessageText(MessageRowId row)
{
    return g_messageCatalogue[row].pszText[GetCatalogueColumn(g_uiLangId)];
}
