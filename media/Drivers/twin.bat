@echo off
rem The reader driver for GemPC Twin readers and tokens, 32-bit Windows 7, Vista, XP and 2000.
"%~dp0driver-package.cmd" twin-driver.exe
