@echo off
rem Starts the reader vendor's driver package named by the first argument, which lies beside this
rem file on the media, with the package's own switches from CARDSETUP_DRIVER_ARGUMENTS (for
rem example its silent mode), and ends with the package's exit code. When the package is missing
rem it says so and, unless the installer runs quietly (CARDSETUP_QUIET), waits for a key, so that
rem the window does not close before the user has read why nothing was installed.
rem twin.bat, twin64.bat, twin8.bat and twin8_64.bat pass control here without "call", which
rem would expand "%" and double "^" in the media's path once more. Paths are used only within
rem quotes, so "&", "(" and ")" in a folder's name stay plain characters.
setlocal EnableExtensions DisableDelayedExpansion
set "package=%~dp0%~1"
if not exist "%package%" goto missing
"%package%" %CARDSETUP_DRIVER_ARGUMENTS%
exit /b %errorlevel%

:missing
echo.
echo Brak pakietu sterownika czytnika kart: %~1
echo Oczekiwano go w katalogu: "%~dp0"
if defined CARDSETUP_QUIET exit /b 2
echo Nosnik instalacyjny jest niekompletny. Nacisnij dowolny klawisz, aby zamknac to okno.
pause >nul
exit /b 1
