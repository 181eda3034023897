// The Japanese texts (code page 932 once compiled), in the order of UiText.
#include "common/ui_texts.h"

extern const char* const kJapaneseTexts[UI_TEXT_COUNT] = {
    // TEXT_CAPTION (one trailing blank)
    "手動暗号 ",
    // TEXT_RESULT_DAMAGED
    "暗号化ファイルが壊れているか、不完全です。\r\nファイルをもう一度受け取ってください",
    // TEXT_NO_MEMORY
    "作業の為のメモリ領域が確保出来ませんでした",
    // TEXT_DROP_HINT
    "暗号化するファイル、フォルダをドラッグ&ドロップして下さい",
    // TEXT_SOURCE_PATH_TOO_LONG
    "指定されたファイルのパスが長すぎます。\r\nファイルを短いパスの場所に移してから実行してください。",
    // TEXT_JOB_NOT_STARTED
    "処理を開始できませんでした。\r\n処理を中断します。",
    // TEXT_TEMP_PATH_TOO_LONG
    "一時フォルダのパスが長すぎるため、処理を開始できません。",
    // TEXT_STATUS_ENCRYPTING
    "書庫を暗号化中です",
    // TEXT_STATUS_DECRYPTING
    "書庫を復号中です",
    // TEXT_STATUS_WRITING_RESULT
    "最終出力中です",
    // TEXT_HEADING_ENCRYPT
    "暗号化確認",
    // TEXT_HEADING_DECRYPT
    "復号確認",
    // TEXT_PASSWORD_MISSING
    "パスワードが入力されていません",
    // TEXT_PASSWORD_MISMATCH
    "再入力のパスワードが間違っていました。\r\nパスワードが一致するように入力してください。",
    // TEXT_PASSWORD_TOO_LONG
    "パスワード文字が長すぎます\r\n63文字以内で入力してください。",
    // TEXT_PASSWORD_CHARACTER
    "パスワードに使用できない文字が含まれています。\r\n日本語（シフトJIS）で表せる文字で入力してください。",
    // TEXT_BROWSE_TITLE
    "フォルダを選択してください",
    // TEXT_SAVE_AS_TITLE
    "暗号化されたファイルを保存します",
    // TEXT_SAVE_AS_FILTER
    "実行形式(*.exe)\0*.exe\0実行仮形式(*.ex_)\0*.ex_\0暗号化データ(*.kyvo)\0*.kyvo\0全て(*.*)\0*.*\0",
    // TEXT_PATH_TOO_LONG
    "指定出来るパスの長さを超えました",
    // TEXT_NO_WRITE_PERMISSION
    "書込み権限がありません",
    // TEXT_MEDIA_NOT_WRITABLE
    "指定したメディアに書込みできません。",
    // TEXT_REPLACE_ON_MEDIA
    "%s は既に存在します。\r\n上書きしますか?",
    // TEXT_MEDIA_COPY_FAILED
    "暗号化ファイルを外部メディアへコピーできませんでした。\r\n\r\n[コピー元]%s\r\n[コピー先]%s\r\n"
    "\r\n暗号化ファイルはコピー元に残してあります。",
    // TEXT_MAILER_NOT_STARTED
    "メーラーを起動できませんでした",
    // TEXT_MAIL_NOT_TAKEN
    "メールソフトが暗号化ファイルを受け取りませんでした。\r\n暗号化ファイルを保存しますか？",
    // TEXT_NOTHING_TO_PACK
    "暗号化するファイルをドラックしてください",
    // TEXT_ENCRYPT_CANNOT_WRITE
    "ファイルが書けません。\r\nディスク容量、書き込み権限を確認してください",
    // TEXT_ENCRYPT_NAME_TOO_LONG
    "処理中に長すぎるファイル名がありました。\r\n処理を中断します。",
    // TEXT_ENCRYPT_STOPPED
    "処理を中断しました",
    // TEXT_ENCRYPT_FAILED
    "正常に処理出来ませんでした エラー(%d)",
    // TEXT_PACK_NOT_FOUND
    "次のファイルまたはフォルダが見つかりませんでした。\r\n%s\r\n処理を中断します。",
    // TEXT_PACK_UNREADABLE
    "次のファイルまたはフォルダを読み込めませんでした。\r\n%s\r\n処理を中断します。",
    // TEXT_PACK_IN_USE
    "次のファイルは他のプログラムが使用中のため読み込めませんでした。\r\n%s\r\n処理を中断します。",
    // TEXT_PACK_NOT_STORABLE
    "次のファイルまたはフォルダの名前には、暗号化ファイルに格納できない文字が含まれています。\r\n%s\r\n"
    "処理を中断します。",
    // TEXT_PACK_DRIVE_ROOT
    "ドライブ全体は暗号化できません。フォルダまたはファイルを選択してください。\r\n%s\r\n処理を中断します。",
    // TEXT_PACK_NAME_CLASH
    "同じ名前のファイルまたはフォルダが選択されています。\r\n%s\r\n%s\r\n"
    "名前を変えるか、別々に暗号化してください。",
    // TEXT_NO_CIPHER
    "Windowsの暗号化機能（bcrypt.dll）を使用できませんでした。\r\n処理を中断します。",
    // TEXT_DECRYPT_CANNOT_WRITE
    "ファイルが書けません。\r\nディスク容量、書き込み権限、ファイル名の長さを確認してください",
    // TEXT_RESTORE_PATH_TOO_LONG
    "元に戻すファイルパスが長すぎます",
    // TEXT_NOT_RESTORED
    "書庫化したファイルを戻せませんでした",
    // TEXT_NOT_RESTORED_NAMED
    "書庫化したファイルを戻せませんでした\r\n%s",
    // TEXT_FOLDER_CLASH
    "次のフォルダは、同時に行われた別の復号が同じ名前で作ったため戻せませんでした。\r\n%s\r\n"
    "もう一度復号してください",
    // TEXT_FOLDER_KEPT
    "次のフォルダは、ほかのプログラムが使用していたため名前を付けられませんでした。\r\n"
    "復号したファイルは、次のフォルダにあります。\r\n%s",
    // TEXT_WRONG_PASSWORD
    "復号出来ませんでした。\r\nパスワードを確認してください",
    // TEXT_DECRYPT_STOPPED
    "処理を中断しました。",
    // TEXT_DECRYPT_FAILED
    "正常に処理出来ませんでした。 エラー(%d)",
    // TEXT_REPLACE_EXISTING
    "既存のファイル",
    // TEXT_REPLACE_INCOMING
    "復号するファイル",
    // TEXT_REPLACE_LINE
    "%s: %I64u バイト　更新日時 %04u/%02u/%02u %02u:%02u:%02u",
    // TEXT_MENU_SAVE_TO_DRIVE
    "暗号化してドライブに保存",
    // TEXT_MENU_SAVE_TO_MEDIA
    "暗号化して外部メディアに保存",
    // TEXT_MENU_ATTACH_TO_MAIL
    "暗号化してメール添付",
    // TEXT_HELP_SAVE_TO_DRIVE (an ASCII blank after 暗号化して)
    "暗号化して ドライブに保存します。（手動暗号化プログラムの起動）",
    // TEXT_HELP_SAVE_TO_MEDIA (an ASCII blank after 暗号化して)
    "暗号化して 外部メディアに保存します。（手動暗号化プログラムの起動）",
    // TEXT_HELP_ATTACH_TO_MAIL (an ideographic comma after 暗号化して)
    "暗号化して、メール添付します。（手動暗号化プログラムの起動）",
};
