// Texts shared by every subsystem: option names, configuration keys and
// sections, platform tags, fixed path pieces and level words. Declared once
// here so that a spelling can only be wrong in one place.
#pragma once

namespace kb {

// The launcher's own options (matched without regard to letter case).
inline constexpr char kOptWait[] = "-wait";
inline constexpr char kOptConsole[] = "-console";
inline constexpr char kOptNoConsole[] = "-noconsole";
inline constexpr char kOptQuiet[] = "-quiet";
inline constexpr char kOptNoMessage[] = "-nomessage";
inline constexpr char kKeyAppLogLoc[] = "applogloc";  // option is "-" + key
inline constexpr char kOptJreHome[] = "-jrehome";
inline constexpr char kOptTempLocation[] = "-templocation";
inline constexpr char kOptNoCleanup[] = "-nocleanup";
inline constexpr char kOptCleanDir[] = "-cleandir";
inline constexpr char kOptDataLocation[] = "-datalocation";
inline constexpr char kOptAutorun[] = "-autorun";

// The self-description line each launcher carries, read by launcher_check
// from a Linux launcher: kProgramMarker, the version, " kind=", one of the
// kinds, ";".
inline constexpr char kProgramMarker[] = "kestrelbay-launcher: version=";
inline constexpr char kProgramKindConsole[] = "console";
inline constexpr char kProgramKindWindowed[] = "windowed";

// Configuration sections.
inline constexpr char kSectionDefault[] = "default";
inline constexpr char kSectionProperties[] = "properties";
// The sections only one operating system reads.
inline constexpr char kSectionLinux[] = "linux";
inline constexpr char kSectionWindows[] = "windows";

// Platform tags, which double as section names.
inline constexpr char kPlatformWin[] = "win";
inline constexpr char kPlatformWx6[] = "wx6";

// Configuration keys.
inline constexpr char kKeyStartDir[] = "startdir";
// "inherit": the relayed child reads the launcher's own standard input;
// absent, empty or "none": it gets no input.
inline constexpr char kKeyStdin[] = "stdin";
inline constexpr char kStdinInherit[] = "inherit";
// "auto": the console launcher's relayed child gets a terminal of its own
// when the launcher's standard input and output are both terminals; "stdin"
// is then ignored. Absent or empty: the pipe relay as always.
inline constexpr char kKeyTerminal[] = "terminal";
inline constexpr char kTerminalAuto[] = "auto";
// The relay's lines on a run on the user's terminal.
inline constexpr char kTagTerminal[] = "ExeProc::ExeandTerminal";
inline constexpr char kTextTerminalNotCopied[] =
    "the child's output went to the console and was not copied into the log";
inline constexpr char kKeyLauncherCmd[] = "launchercmd";
inline constexpr char kKeyLauncherArgs[] = "launcherargs";
inline constexpr char kKeyJavaArgsPrefix[] = "JavaArgs_";
inline constexpr char kKeyClasspath[] = "Classpath";
inline constexpr char kKeyMainClass[] = "MainClass";
inline constexpr char kKeyAddtlArgsPrefix[] = "AddtlArgs_";
inline constexpr char kKeyNoRunWith[] = "norunwith";
inline constexpr char kKeyNoRunWithDisplayPrefix[] = "norunwith_display_";
inline constexpr char kKeyId[] = "id";
inline constexpr char kKeyLogKeep[] = "logkeep";
// Where the launcher-made logs go instead of the data folder.
inline constexpr char kKeyLogDir[] = "logdir";
// Whether the child's output is copied into the log: "all" or "none".
inline constexpr char kKeyLogOutput[] = "logoutput";
inline constexpr char kLogOutputAll[] = "all";
inline constexpr char kLogOutputNone[] = "none";
// A bound on the log file's size for the child's output ("10M").
inline constexpr char kKeyLogMax[] = "logmax";
// The relay's one line on what "logmax" left out of the log.
inline constexpr char kTagLogMax[] = "ExeProc::ReadFromPipe::logmax";
inline constexpr char kKeyJavaCache[] = "javacache";
inline constexpr char kKeyMasterProp[] = "MASTERPROP";
// The per-user configuration file, read from the configuration file alone.
inline constexpr char kKeyUserIni[] = "userini";

// Built-in properties added with a master property file.
inline constexpr char kPropWorkingDir[] = "WORKINGDIR";
inline constexpr char kPropLauncherDir[] = "LAUNCHERDIR";

// A command line that names this (any letter case) is an uninstall run.
inline constexpr char kUninstallMarker[] = "uninstall.jar";

// The present-but-empty marker of a configuration lookup.
inline constexpr char kPresentButEmpty[] = " ";

// Named mutexes: this prefix followed by a lower-cased application id.
inline constexpr char kMutexNamePrefix[] = "9075CDB8-D9F1-46dc-BCBF-F7E465A9A630";

// Location pieces.
inline constexpr char kVendorFolder[] = "Orlan";
inline constexpr char kProductFolder[] = "Kestrelbay";
inline constexpr char kLogNameSeparator[] = "_";
inline constexpr char kLogExtension[] = ".log";
inline constexpr char kConsoleSuffix[] = "_console";
inline constexpr char kIniExtension[] = ".ini";

// Log level words.
inline constexpr char kLevelInfo[] = "INFO:";
inline constexpr char kLevelWarning[] = "WARNING:";
inline constexpr char kLevelError[] = "ERROR:";

// Caption of every message box.
inline constexpr char kMessageCaption[] = "Error";

// The banner text that the launch sequence passes to LogOpen.
inline constexpr char kLauncherBannerName[] = "Launcher";

// Launcher kinds.
inline constexpr int kKindWindowed = 100;
inline constexpr int kKindConsole = 200;

}  // namespace kb
