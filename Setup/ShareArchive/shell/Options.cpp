#include "shell/Options.h"
#include "shell/Helpers.h"
#include "shell/Log.h"
#include "wizard/Wizard.h"

#include <string.h>

SetupOptions Options;

namespace {

enum OptionKind { NotAnOption, SilentOption, FolderOption, GroupOption, AllUsersOption,
                  CurrentUserOption, LaunchOption, LogOption, CloseAppOption, HelpOption };

struct OptionName {
    const char* name; // upper case; a trailing "=" takes a value
    OptionKind kind;
};

const OptionName OptionNames[] = {
    {"/S", SilentOption},           {"/D=", FolderOption},        {"/GROUP=", GroupOption},
    {"/ALLUSERS", AllUsersOption},  {"/CURRENTUSER", CurrentUserOption},
    {"/LAUNCH", LaunchOption},      {"/LOG=", LogOption},         {"/CLOSEAPP", CloseAppOption},
    {"/?", HelpOption},             {"/HELP", HelpOption},
};

// The option an argument names, and where its value starts. The names are ASCII: a lead
// byte never equals one of their characters, so no trail byte is ever compared.
OptionKind KindOf(const char* argument, const char** value) {
    for (const OptionName& option : OptionNames) {
        size_t i = 0;
        for (; option.name[i] != '\0'; ++i) {
            char c = argument[i];
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
            if (c != option.name[i])
                break;
        }
        const bool takesValue = i > 0 && option.name[i - 1] == '=';
        if (option.name[i] == '\0' && (takesValue || argument[i] == '\0')) {
            *value = argument + i;
            return option.kind;
        }
    }
    *value = nullptr;
    return NotAnOption;
}

void NoteProblem(SetupOptions& options, const char* format, const char* text) {
    if (options.problem[0] == '\0')
        FormatText(options.problem, sizeof options.problem, format, text);
}

// A value into its field: blanks at both ends removed (as the wizard's pages remove them);
// false when nothing is left or it does not fit.
bool TakeValue(char* field, const char* value) {
    if (strlen(value) >= PathCapacity)
        return false;
    char text[PathCapacity];
    CopyText(text, sizeof text, value);
    TrimBlanks(text);
    CopyText(field, PathCapacity, text);
    return field[0] != '\0';
}

bool OnlyValuesFollow(const char* p) {
    char argument[4 * PathCapacity];
    const char* value = nullptr;
    while ((p = NextArgumentOf(p, argument, sizeof argument, nullptr)) != nullptr) {
        if (KindOf(argument, &value) != NotAnOption)
            return false;
    }
    return true;
}

} // namespace

bool ReadOptions(const char* commandLine, SetupMode mode, SetupOptions& options) {
    memset(&options, 0, sizeof options);
    options.users = UsersAsStartUpSets;
    bool allUsers = false;
    bool currentUser = false;
    // Room for values longer than a path: they are refused, never cut to one.
    char argument[4 * PathCapacity];
    const char* p = NextArgumentOf(commandLine, argument, sizeof argument, nullptr); // program
    if (p != nullptr && mode != InstallMode)
        p = NextArgumentOf(p, argument, sizeof argument, nullptr); // the mode switch
    const char* start = nullptr;
    bool first = mode == InstallMode; // else the mode switch came first
    while (p != nullptr && (p = NextArgumentOf(p, argument, sizeof argument, &start)) != nullptr) {
        const char* value = nullptr;
        const OptionKind kind = KindOf(argument, &value);
        if (kind == HelpOption && first) {
            options.help = true; // only in the place of the mode switch
            first = false;
            continue;
        }
        first = false;
        switch (kind) {
        case SilentOption:
            options.unattended = true;
            break;
        case FolderOption:
            if (OnlyValuesFollow(p)) {
                // As the last option it takes the rest of the line, blanks included; quotes
                // work as for every argument. Too long a rest is refused below, never cut.
                char rest[4 * PathCapacity];
                NextArgumentOf(start, rest, sizeof rest, nullptr, true);
                const char* restValue = nullptr;
                KindOf(rest, &restValue);
                if (rest[0] != '\0' && restValue != nullptr)
                    value = restValue;
                p = nullptr; // the line is taken
            }
            if (!TakeValue(options.folder, value))
                NoteProblem(options, "bad value: %s", argument);
            break;
        case GroupOption:
            if (value[0] != '\0' && !TakeValue(options.group, value))
                NoteProblem(options, "bad value: %s", argument);
            break;
        case AllUsersOption:
            allUsers = true;
            break;
        case CurrentUserOption:
            currentUser = true;
            break;
        case LaunchOption:
            options.launch = true;
            break;
        case LogOption:
            if (!TakeValue(options.logFile, value))
                NoteProblem(options, "bad value: %s", argument);
            break;
        case CloseAppOption:
            options.closeApplication = true;
            break;
        case NotAnOption:
        case HelpOption:
            NoteProblem(options, "unknown option: %s", argument);
            break;
        }
    }
    if (allUsers && currentUser) {
        NoteProblem(options, "bad value: %s", "/ALLUSERS and /CURRENTUSER together");
    } else if (allUsers || currentUser) {
        options.users = allUsers ? UsersAll : UsersCurrent;
    }
    return options.problem[0] == '\0';
}

bool AcceptGroupOption(SetupOptions& options, bool (*usable)(const char* name)) {
    if (options.group[0] == '\0' || usable(options.group))
        return true;
    NoteProblem(options, "bad value: /GROUP=%s", options.group);
    options.group[0] = '\0';
    return false;
}

void LogOptions(SetupMode mode, const SetupOptions& options) {
    const char* modeName = mode == InstallMode                ? "install"
                           : mode == UninstallAllUsersMode    ? "uninstall /r (all users)"
                                                              : "uninstall /R (current user)";
    LogLine("SETUP.EXE: %s, %s", modeName, options.unattended ? "unattended (/S)" : "interactive");
    if (options.help)
        LogLine("option /?");
    if (options.folder[0] != '\0')
        LogLine("option /D=%s", options.folder);
    if (options.group[0] != '\0')
        LogLine("option /GROUP=%s", options.group);
    if (options.users != UsersAsStartUpSets)
        LogLine("option %s", options.users == UsersAll ? "/ALLUSERS" : "/CURRENTUSER");
    if (options.launch)
        LogLine("option /LAUNCH");
    if (options.closeApplication)
        LogLine("option /CLOSEAPP");
    if (options.logFile[0] != '\0')
        LogLine("option /LOG=%s", options.logFile);
    if (options.problem[0] != '\0')
        LogLine("error: %s", options.problem);
}
