@echo off
rem Registers TAVRO.OCX from this folder: for the current user, which needs
rem no administrator rights, or for every user when run as administrator.
rem On 64-bit Windows both OCX files are registered: x64\TAVRO.OCX for 64-bit
rem script hosts, x86\TAVRO.OCX for 32-bit ones (SysWOW64\cscript.exe). On
rem ARM64 Windows only the x86 one is registered: no native host loads x64.
rem   install.cmd            per user, or machine-wide when elevated
rem   install.cmd /user      per user (HKCU\Software\Classes)
rem   install.cmd /machine   machine-wide (needs administrator rights)
rem uninstall.cmd calls it with --remove first, to unregister.
setlocal
rem The folder of this file, taken before shift moves %0.
set "here=%~dp0"
set "action="
set "verb=registered"
if "%~1"=="--remove" (
  set "action=/u"
  set "verb=unregistered"
  shift
)
goto main

:register
rem %1: the regsvr32 to run, %2: the OCX
"%~1" /s %action% %options% "%~2"
if errorlevel 1 (
  echo failed: %~nx1 %action% %options% %2
  exit /b 1
)
echo %verb% %2 (%scope%)
exit /b 0

:main
set "scope=%~1"
if "%scope%"=="" (
  rem Writing under HKLM\Software\Classes is what machine-wide needs: try it.
  reg add "HKLM\Software\Classes\TAVRO.InstallProbe" /f >nul 2>&1
  if errorlevel 1 (
    set "scope=/user"
  ) else (
    reg delete "HKLM\Software\Classes\TAVRO.InstallProbe" /f >nul 2>&1
    set "scope=/machine"
  )
)
if /i "%scope%"=="/user" (
  set "options=/n /i:user"
) else if /i "%scope%"=="/machine" (
  set "options="
) else (
  echo usage: install.cmd [/user ^| /machine]
  exit /b 2
)

rem A 32-bit cmd on 64-bit Windows reaches the 64-bit System32 as Sysnative.
set "native=%SystemRoot%\System32"
if defined PROCESSOR_ARCHITEW6432 set "native=%SystemRoot%\Sysnative"
set "machine=%PROCESSOR_ARCHITECTURE%"
if defined PROCESSOR_ARCHITEW6432 set "machine=%PROCESSOR_ARCHITEW6432%"
if /i "%machine%"=="x86" (
  call :register "%native%\regsvr32.exe" "%here%x86\TAVRO.OCX"
  exit /b
)
rem Each OCX is tried even when the other failed; the result counts both.
set "failed=0"
if /i "%machine%"=="ARM64" (
  rem The native regsvr32 and script hosts of ARM64 Windows run ARM64 code
  rem and cannot load an x64 DLL.
  echo ARM64 Windows: x64\TAVRO.OCX skipped, the native script hosts cannot load it.
  echo Use the 32-bit hosts, such as %SystemRoot%\SysWOW64\cscript.exe, with x86\TAVRO.OCX.
) else (
  call :register "%native%\regsvr32.exe" "%here%x64\TAVRO.OCX"
  if errorlevel 1 set "failed=1"
)
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
  call :register "%SystemRoot%\SysWOW64\regsvr32.exe" "%here%x86\TAVRO.OCX"
  if errorlevel 1 set "failed=1"
) else (
  echo no 32-bit Windows subsystem: x86\TAVRO.OCX skipped
)
exit /b %failed%
