# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the manual page of quillon-cli from the program's own help, so that the two cannot
# disagree: NAME from the first line of 'quillon-cli --help', the whole help as the
# description, every command's (and sub-command's) help in COMMANDS, then the sections of
# the file EXTRA (roff as it is).
#
#   cmake -DCLI=path/to/quillon-cli -DVERSION=1.22 -DEXTRA=file -DOUT=quillon-cli.1 -P make_man_page.cmake

foreach(var CLI VERSION EXTRA OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_man_page.cmake needs -D${var}=...")
  endif()
endforeach()

# The help of 'quillon-cli ARGS... --help'.
function(help_of out)
  execute_process(COMMAND ${CLI} ${ARGN} --help
                  OUTPUT_VARIABLE text ERROR_VARIABLE error RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "quillon-cli ${ARGN} --help failed (${status}): ${error}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Plain text made safe for roff: backslashes and minus signs escaped, no line taken for a
# request.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Text shown line for line as the program prints it.
function(verbatim out text)
  string(REGEX REPLACE "\n+$" "" text "${text}")
  roff_text(text "${text}")
  set(${out} ".PP\n.nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

# The names listed under "Subcommands:" in a help text.
function(commands_of out text)
  set(names "")
  string(FIND "${text}" "\nSubcommands:\n" at)
  if(at GREATER_EQUAL 0)
    string(SUBSTRING "${text}" ${at} -1 list)
    string(FIND "${list}" "\n\n" end)
    if(end GREATER_EQUAL 0)
      string(SUBSTRING "${list}" 0 ${end} list)
    endif()
    string(REGEX MATCHALL "\n  [a-z][a-z-]*" lines "${list}")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" name)
      list(APPEND names "${name}")
    endforeach()
  endif()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# A sub-section for the command PATH... and, after it, one for each of its own commands.
function(command_sections out)
  help_of(text ${ARGN})
  string(REPLACE ";" " " title "quillon-cli;${ARGN}")
  roff_text(title "${title}")
  verbatim(body "${text}")
  set(sections ".SS \"${title}\"\n${body}")
  commands_of(names "${text}")
  foreach(name IN LISTS names)
    command_sections(more ${ARGN} ${name})
    string(APPEND sections "${more}")
  endforeach()
  set(${out} "${sections}" PARENT_SCOPE)
endfunction()

help_of(top)
string(REGEX MATCH "^quillon-cli: ([^\n]*)" first "${top}")
if(NOT first)
  message(FATAL_ERROR "the help of quillon-cli does not start with 'quillon-cli: WHAT IT DOES'")
endif()
string(REGEX REPLACE "\\.$" "" summary "${CMAKE_MATCH_1}")
roff_text(summary "${summary}")
roff_text(version "quillon-cli ${VERSION}")
verbatim(description "${top}")

set(commands "")
commands_of(names "${top}")
if(NOT names)
  message(FATAL_ERROR "the help of quillon-cli lists no commands")
endif()
foreach(name IN LISTS names)
  command_sections(section ${name})
  string(APPEND commands "${section}")
endforeach()

file(READ "${EXTRA}" extra)

file(WRITE "${OUT}.part"
".\\\" Made from 'quillon-cli --help' when the program is built.
.TH QUILLON\\-CLI 1 \"\" \"${version}\" \"User Commands\"
.SH NAME
quillon\\-cli \\- ${summary}
.SH SYNOPSIS
.B quillon\\-cli
[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]
.br
.B quillon\\-cli \\-\\-help
.br
.B quillon\\-cli \\-\\-version
.SH DESCRIPTION
${description}.SH COMMANDS
Each command's help, as \\fBquillon\\-cli \\fICOMMAND\\fB \\-\\-help\\fR prints it.
${commands}${extra}")
file(RENAME "${OUT}.part" "${OUT}")
