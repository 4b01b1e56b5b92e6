@echo off
rem The reader driver for GemPC Twin readers and tokens, 64-bit Windows 8 and later.
"%~dp0driver-package.cmd" twin8_64-driver.exe
