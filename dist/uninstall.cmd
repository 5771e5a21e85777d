@echo off
rem Unregisters TAVRO.OCX: for the current user, or machine-wide when run as
rem administrator; /user or /machine choose, as for install.cmd.
call "%~dp0install.cmd" --remove %*
