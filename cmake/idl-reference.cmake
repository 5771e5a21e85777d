# Builds the script reference (Markdown) from the type library's source:
#   cmake -DIDL=interface/TAVRO.idl -DOUT=reference.md -P cmake/idl-reference.cmake
# One section per control (its dispatch interface and its events), one entry
# per member with its DISPID, signature and help string. The help strings are
# copied exactly as the type library holds them, so a test can find each
# library string in the reference. Fails when a member has no help string or
# its help string leaves a parameter unexplained. The reference opens with an
# index of the members grouped by task (the table below); a member missing
# from the table, or a table entry that is no member, fails too.
if(NOT IDL OR NOT OUT)
  message(FATAL_ERROR "usage: cmake -DIDL=<file.idl> -DOUT=<file.md> -P idl-reference.cmake")
endif()

# The index: group title, its control, then its members in the order shown.
set(groups ports input output files host controls keyboard clipboard filesearch script)
set(group_ports "Ports" MidiIO OpenMidiInPort OpenMidiOutPort CloseMidiInPort CloseMidiOutPort
    GetMidiInPortCount GetMidiOutPortCount GetMidiInPortName GetMidiOutPortName GetMidiInPortType
    GetMidiOutPortType FindMidiInPort FindMidiOutPort)
set(group_input "Input" MidiIO GetNextEvent GetMidiInEvent GetMidiInEventCount DeleteMidiInEvents
    ClearMidiInBuffer SetMidiInMaxEventCount SetMidiInSysLen EnableMidiInEventHandler OnMidiEvents)
set(group_output "Output and timers" MidiIO SendMidiEvent GetMidiOutEventCount ClearMidiOutBuffer
    SetMidiOutSysLen GetMasterClockTime GetSystemTime CreateTimer KillTimer OnTimer)
set(group_files "Files" MidiFile ReadMidiFile ReadMidiFilePPQ WriteMidiFile WriteMidiFilePPQ)
set(group_host "Host and menus" MidiTools SetCurrentHost GetHostWindowText SetHostToForeground
    GetMenusFromHost IsHostMenu IsHostMenuEnabled IsHostMenuChecked GetHostSubMenuCount
    GetHostSubMenuName CallHostMenu ShowEditor EditorGetSelText EditorReplaceSelText EditorSelectAll
    EditorAddText)
set(group_controls "Window controls" MidiTools GetForegroundWindowName GetForegroundClassName
    GetMouseWindowName WaitForegroundWindow WaitForegroundWindowChanged EnumWindows MsgListBox
    SetControlWindow GetNumControls EnumControls EnumAllControls GetMouseControl GetControlType
    GetControlClass GetControlText SetControlText IsControlEnabled IsControlVisible SetControlFocus
    ClickButton GetControlCheckState SetControlCheckState GetControlCurSel SetControlCurSel
    GetControlItemsCount GetControlItemText GetControlItemData)
set(group_keyboard "Keyboard" MidiTools SendKeys)
set(group_clipboard "Clipboard" MidiTools GetClipboardTextLength GetClipboardText SetClipboardText
    IsClipboardFormatAvailable GetClipboardData SetClipboardData)
set(group_filesearch "Files and search" MidiTools FileRead FileWrite FileAppend FileExist FolderExist
    GetFileSize GetFileTitle FileCopy FileMove FileDelete FileFind IsLike RunApp)
set(group_script "Output and script control" MidiTools Print PrintLN Cls PrintTabStopLength PrintFont
    Scale Sleep GetTickCount Assert TerminateScript TerminateScriptNOW)
# Members that every control has, listed once after the groups.
set(common_members AboutBox)

file(READ "${IDL}" text)
# CMake lists split at ";" except inside brackets: hide both from the split.
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "[" "<lbracket>" text "${text}")
string(REPLACE "]" "<rbracket>" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

function(unhide var value)
  string(REPLACE "<semicolon>" ";" value "${value}")
  string(REPLACE "<lbracket>" "[" value "${value}")
  string(REPLACE "<rbracket>" "]" value "${value}")
  # The IDL's C escapes, as widl stores the strings.
  string(REPLACE "\\\"" "\"" value "${value}")
  string(REPLACE "\\\\" "\\" value "${value}")
  set(${var} "${value}" PARENT_SCOPE)
endfunction()

set(md "# TAVRO.OCX script reference

Generated from `interface/TAVRO.idl` by `cmake/idl-reference.cmake` during the
build; a test fails when this file and the type library differ. Edit the help
strings in the IDL, build, and copy `build/x64/generated/reference.md` here.

Conventions that hold for every control:

- Results described as True/False are Booleans to the script (the type
  library declares them `long`).
- MIDI times (`msgTime`, `GetMasterClockTime`) count in 0.1 ms on the master
  clock; `GetSystemTime`, `GetTickCount` and every `msec...` argument count in
  milliseconds.
- Arrays handed to and taken from scripts are arrays of Variants with lower
  bound 0 (`Array(...)` in VBScript; read them in JScript with
  `new VBArray(a).toArray()`).
- Port IDs count from 1 in each direction; 0 means all ports where a member
  says so.
- Only MidiTools raises script errors (2012 from `Assert` and
  `TerminateScriptNOW`, 2000 from `SendKeys`, 1000 from `FileFind`); every other
  failure is a result.
- A failure result can explain itself: with the environment variable
  `TAVRO_TRACE=1` (or the DWORD `HKCU\\Software\\TAVRO\\Trace` = 1), read when
  the OCX loads, each failure writes one line to the debug output, e.g.
  `TAVRO MidiIO.OpenMidiOutPort(40): no output port 40 (ports are 1 to 36)`;
  `tavrorun //trace` shows them on standard error.
")

set(head "${md}")
set(md "")
set(found "")
set(help "")
set(dispid "")
set(iface "")
set(pending "")
set(members 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^        <lbracket>id\\((-?[0-9]+)\\), helpstring\\(\"(.*)\"\\)<rbracket>$")
    set(dispid "${CMAKE_MATCH_1}")
    unhide(help "${CMAKE_MATCH_2}")
  elseif(line MATCHES "^    dispinterface _D([A-Za-z]+)$")
    set(iface "${CMAKE_MATCH_1}")
    if(iface MATCHES "^(.+)Events$")
      set(control "${CMAKE_MATCH_1}")
      # Written with the first event: a control without events gets no heading.
      set(pending "\n### Events of ${control}\n")
      set(events "${control}")
    else()
      string(APPEND md "\n## ${iface}\n\nCreate it with `CreateObject(\"TAVRO.${iface}Ctrl.1\")` (VBScript) or\n`new ActiveXObject(\"TAVRO.${iface}Ctrl.1\")` (JScript).\n")
      set(events "")
      set(pending "")
    endif()
  elseif(line MATCHES "^        <lbracket>id\\(")
    message(FATAL_ERROR "${IDL}: member without a help string: ${line}")
  elseif(line MATCHES "^        (long|void|BSTR) ([A-Za-z]+)\\((.*)\\)<semicolon>$")
    set(result "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    set(params "${CMAKE_MATCH_3}")
    if(dispid STREQUAL "")
      message(FATAL_ERROR "${IDL}: ${name} has no help string")
    endif()
    # Every parameter must be named in the help string.
    string(REGEX MATCHALL "[A-Za-z]+(,|$)" pnames "${params}")
    foreach(p IN LISTS pnames)
      string(REPLACE "," "" p "${p}")
      string(FIND "${help}" "${p}" at)
      if(at EQUAL -1)
        message(FATAL_ERROR "${IDL}: the help string of ${name} does not explain ${p}")
      endif()
    endforeach()
    string(APPEND md "${pending}")
    set(pending "")
    if(events)
      string(APPEND md "\n#### ${name}\n\n`Sub ${events}_${name}()` · DISPID ${dispid}\n\n${help}\n")
    else()
      string(APPEND md "\n### ${name}\n\n`${result} ${name}(${params})` · DISPID ${dispid}\n\n${help}\n")
    endif()
    math(EXPR members "${members} + 1")
    list(APPEND found "${name}")
    set(dispid "")
  endif()
endforeach()

if(members EQUAL 0)
  message(FATAL_ERROR "${IDL}: no members found")
endif()
# The index, checked against the members found.
set(listed ${common_members})
set(index "\n## Members by task\n\n")
foreach(g IN LISTS groups)
  set(entry ${group_${g}})
  list(POP_FRONT entry title control)
  set(links "")
  foreach(m IN LISTS entry)
    list(FIND found "${m}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "cmake/idl-reference.cmake: ${m} of the index is no member of ${IDL}")
    endif()
    string(TOLOWER "${m}" anchor)
    string(APPEND links "${sep}[${m}](#${anchor})")
    set(sep ", ")
  endforeach()
  set(sep "")
  list(APPEND listed ${entry})
  string(APPEND index "- **${title}** (${control}): ${links}\n")
endforeach()
foreach(m IN LISTS common_members)
  string(TOLOWER "${m}" anchor)
  string(APPEND index "- **Every control**: [${m}](#${anchor})\n")
endforeach()
foreach(m IN LISTS found)
  list(FIND listed "${m}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "cmake/idl-reference.cmake: ${m} has no group in the index table")
  endif()
endforeach()
set(md "${head}${index}${md}")

string(REPLACE "<semicolon>" ";" md "${md}")
string(REPLACE "<lbracket>" "[" md "${md}")
string(REPLACE "<rbracket>" "]" md "${md}")
file(WRITE "${OUT}.tmp" "${md}")
# Only a changed reference touches the output, so nothing rebuilds needlessly.
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUT}.tmp" "${OUT}")
file(REMOVE "${OUT}.tmp")
