#pragma once

// Each test file runs its own Qt Test class; test_main runs them all under one QApplication.
int runListTextBoxTests(int argc, char** argv);
int runRowIndexTests(int argc, char** argv);
int runTextCursorTests(int argc, char** argv);
