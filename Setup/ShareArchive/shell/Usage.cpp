// /? and /HELP: what the command line takes and what an unattended run's exit code says.
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "shell/Options.h"
#include "shell/SetupState.h"

namespace {

const char UsageText[] =
    "使い方: SETUP.EXE [ｵﾌﾟｼｮﾝ...]\n"
    "削除: SETUP.EXE /r (全てのユーザー) または /R (現在のユーザー) [ｵﾌﾟｼｮﾝ...]\n"
    "\n"
    "/S  画面を出さずに実行します。\n"
    "/D=ﾌｫﾙﾀﾞ  インストール先のフォルダ(ディレクトリ)。最後に置くと行の残りすべて\n"
    "/GROUP=名前  プログラムグループ名\n"
    "/ALLUSERS  全てのユーザーに共通とする\n"
    "/CURRENTUSER  現在のユーザーだけにインストールする\n"
    "/LAUNCH  /S のとき、インストール後にソフトを起動する\n"
    "/LOG=ﾌｧｲﾙ  実行の記録をファイルに書き込む\n"
    "/CLOSEAPP  /S のとき、動作している「くおりん」を終了させる\n"
    "/?, /HELP  この説明を表示する\n"
    "\n"
    "終了コード (/S のとき。画面のあるときは常に 0):\n"
    "0  完了\n"
    "1  不明なオプションまたは誤った値 (何も変更しません)\n"
    "3  「くおりん」が動作している (何も変更しません)\n"
    "4  インストール先のフォルダを作成または書き込みできない (元のまま)\n"
    "5  ファイルが壊れているか読み込めない (元のまま)\n"
    "6  プログラムグループ、ショートカット、ファイルの関連付けまたはアンインストール情報を作成できなかった\n"
    "7  全てのユーザーに共通とする権限がない (何も変更しません)\n"
    "8  いくつかのファイルが削除できなかった\n"
    "9  削除するソフトが見つからない (何も変更しません)";

// Nobody reads a box: each line of the text goes into the log (if there is one).
void LogUsage() {
    char text[sizeof UsageText];
    CopyText(text, sizeof text, UsageText);
    char* line = text;
    for (char* p = text; line != nullptr; p += CharacterLength(p)) {
        if (*p != '\n' && *p != '\0')
            continue;
        const bool last = *p == '\0';
        *p = '\0';
        if (*line != '\0')
            LogLine("%s", line);
        line = last ? nullptr : p + 1;
    }
}

} // namespace

void ShowUsage() {
    if (Unattended)
        LogUsage();
    else
        AskUser(nullptr, UsageText, InstallCaption, MB_OK | MB_ICONINFORMATION, IDOK);
}
