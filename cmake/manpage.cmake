# Writes launcher_check's manual page from the text its --help prints, so
# that the page and the program never tell two stories.
#   cmake -DHELP=<file with the --help text> -DOUT=<page> -DVERSION=<v>
#         -DDATE=<YYYY-MM-DD> -P manpage.cmake
# The usage lines become the synopsis, the rest the description, each kept
# as laid out (no filling), with roff's control characters escaped.
file(READ "${HELP}" help)
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
# A line beginning with "." or "'" would be read as a request.
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(FIND "${help}" "\n\n" split)
if(split LESS 0)
  message(FATAL_ERROR "manpage: no blank line after the usage in ${HELP}")
endif()
string(SUBSTRING "${help}" 0 ${split} synopsis)
math(EXPR rest "${split} + 2")
string(SUBSTRING "${help}" ${rest} -1 description)
string(REGEX REPLACE "^usage: " "" synopsis "${synopsis}")
string(REPLACE "\n       " "\n" synopsis "${synopsis}")
file(WRITE "${OUT}"
  ".TH LAUNCHER_CHECK 1 \"${DATE}\" \"kestrelbay-launcher ${VERSION}\" \"User Commands\"\n"
  ".SH NAME\n"
  "launcher_check \\- show what the launcher would do with a configuration file\n"
  ".SH SYNOPSIS\n"
  ".nf\n${synopsis}\n.fi\n"
  ".SH DESCRIPTION\n"
  ".nf\n${description}.fi\n"
  ".SH SEE ALSO\n"
  "/usr/share/doc/kestrelbay-launcher/README.md\n")
