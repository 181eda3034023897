// Every text the page shows, in Japanese and English; the browser's first
// language decides (Japanese for any "ja", English otherwise).
const texts = {
  ja: {
    title: 'Kyvomar 暗号化ファイル リーダー',
    intro: '暗号化ファイル（.exe、.ex_ または .kyvo）を選ぶか、ここにドロップして、パスワードを入力してください。ファイルはこのブラウザの中だけで復号され、どこにも送信されません。',
    file: '暗号化ファイル',
    password: 'パスワード',
    open: '開く',
    opening: '復号しています…',
    saveFolder: 'フォルダに保存',
    saveZip: 'すべてを .zip で保存',
    timesNote: 'ブラウザはファイルの日時を設定できないため、保存したファイルは保存した日時になります（.zip は元の日時のまま）。',
    saving: '保存しています…',
    saved: '保存しました。',
    cancel: 'キャンセル',
    cancelled: '中止しました。書きかけのファイルは残っていません。',
    progress: '%2 / %3 MB　%1',
    save: '保存',
    name: '名前',
    size: 'サイズ',
    modified: '更新日時',
    summary: '%1 個のファイル、%2 個のフォルダ',
    'no-password': 'パスワードを入力してください。',
    'no-file': '暗号化ファイルを選択してください。',
    'bad-password-character':
      'パスワードに使用できない文字が含まれています。\n日本語（シフトJIS）で表せる文字で入力してください。',
    'wrong-password': '復号出来ませんでした。\nパスワードを確認してください',
    'not-a-result': 'このファイルは暗号化ファイルではありません。\n暗号化ファイル（.exe、.ex_ または .kyvo）を選択してください。',
    damaged: '暗号化ファイルが壊れています。\n保存できるファイルはありません。',
    'damaged-file': '暗号化ファイルが壊れています。\n%1 は元に戻せないため保存していません。',
    'unsafe-name': '暗号化ファイルに、元に戻せない名前が含まれています。\n%1\n保存できるファイルはありません。',
    unreadable: 'ファイルを読み込めませんでした。\n%1',
    'write-failed': 'ファイルが書けません。\nディスク容量、書き込み権限、ファイル名の長さを確認してください\n%1',
    unsupported: 'このブラウザでは開けません。\n最新の Chrome、Edge、Firefox または Safari をお使いください。',
  },
  en: {
    title: 'Kyvomar encrypted file reader',
    intro: 'Choose an encrypted file (.exe, .ex_ or .kyvo) or drop it here, and enter its password. The file is decrypted inside this browser only and sent nowhere.',
    file: 'Encrypted file',
    password: 'Password',
    open: 'Open',
    opening: 'Decrypting…',
    saveFolder: 'Save to a folder',
    saveZip: 'Save everything as .zip',
    timesNote: 'Browsers cannot set file times: saved files get the time of saving (a .zip keeps the original times).',
    saving: 'Saving…',
    saved: 'Saved.',
    cancel: 'Cancel',
    cancelled: 'Cancelled. No partly written file was left behind.',
    progress: '%2 / %3 MB  %1',
    save: 'Save',
    name: 'Name',
    size: 'Size',
    modified: 'Modified',
    summary: '%1 files, %2 folders',
    'no-password': 'Please enter the password.',
    'no-file': 'Please choose an encrypted file.',
    'bad-password-character':
      'The password holds a character that cannot be used.\nPlease use characters that Japanese (Shift-JIS) can represent.',
    'wrong-password': 'The file could not be decrypted.\nPlease check the password.',
    'not-a-result': 'This file is not an encrypted file.\nPlease choose an encrypted file (.exe, .ex_ or .kyvo).',
    damaged: 'The encrypted file is damaged.\nNothing can be saved from it.',
    'damaged-file': 'The encrypted file is damaged.\n%1 cannot be restored and was not saved.',
    'unsafe-name': 'The encrypted file holds a name that cannot be restored safely.\n%1\nNothing can be saved from it.',
    unreadable: 'The file could not be read.\n%1',
    'write-failed': 'The file cannot be written.\nPlease check the disk space, the write permission and the length of the file name.\n%1',
    unsupported: 'This browser cannot open the file.\nPlease use a current Chrome, Edge, Firefox or Safari.',
  },
};

export function pageLanguage() {
  const first = (navigator.languages && navigator.languages[0]) || navigator.language || 'en';
  return first.toLowerCase().startsWith('ja') ? 'ja' : 'en';
}

// The text of a key with %1, %2 filled in.
export function text(key, ...args) {
  const table = texts[pageLanguage()];
  const t = table[key] ?? texts.en[key] ?? key;
  return t.replace(/%(\d)/g, (_, i) => String(args[Number(i) - 1] ?? ''));
}
