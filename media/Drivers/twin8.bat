@echo off
rem The reader driver for GemPC Twin readers and tokens, 32-bit Windows 8.
"%~dp0driver-package.cmd" twin8-driver.exe
