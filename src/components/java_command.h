// Running one Java command of the Java Plug-in step: the launcher is started itself, never
// through cmd.exe, so that no interpreter rule, AutoRun command, network-share directory or
// machine-wide CLASSPATH can change what runs.
#pragma once

// Starts launcher (a full path) with commandLine (a writable buffer, as CreateProcessA wants it)
// in the current directory, with the installer's environment less CLASSPATH and no console
// window, and waits for it with no time-out, answering the thread's messages meanwhile. Returns
// true only when it started and ended with exit status 0.
bool RunJavaCommand(const char* launcher, char* commandLine);
