@echo off
rem The reader driver for GemPC Twin readers and tokens, 64-bit Windows 7, Vista and XP.
"%~dp0driver-package.cmd" twin64-driver.exe
