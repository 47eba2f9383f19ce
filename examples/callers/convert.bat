@echo off
rem Imports a document to RTF through a request file with both converter
rem sources and reports the outcome; then exports the RTF through the
rem registered export converter whose index dvinfo.exe shows. DOCVANE (the
rem program), WORK (the work folder) and INDEX (the export converter's index)
rem may be set beforehand; otherwise these defaults apply. A batch file cannot
rem time out: start /wait waits as long as docvane runs.
setlocal
if not defined DOCVANE set "DOCVANE=C:\Program Files\docvane\i686\docvane.exe"
if not defined WORK set "WORK=C:\Work"
if not defined INDEX set "INDEX=0"
set "REQ=%WORK%\letter.req"

rem The request file: source, destination, selector (Y: built-in and registered converters).
> "%REQ%"  echo %WORK%\In\letter.doc
>> "%REQ%" echo %WORK%\Out\letter.rtf
>> "%REQ%" echo Y

rem docvane is a GUI program: start /wait waits for it and sets ERRORLEVEL to its exit code.
start "" /wait "%DOCVANE%" %REQ%
set "RC=%ERRORLEVEL%"

rem The status file: the last non-empty line is the result; the first line is the
rem progress text when there are two (for /f skips empty lines).
set "PROGRESS=" & set "FIRST=" & set "LAST="
for /f "usebackq delims=" %%L in ("%REQ%") do (
  if not defined FIRST set "FIRST=%%L"
  set "LAST=%%L"
)

rem The progress text holds "%" and ")": expanded as %...% inside a parenthesised
rem block, its ")" would end the block. !...! inserts a value only when the
rem command runs, so it works with any text.
setlocal EnableDelayedExpansion
if not "!FIRST!"=="!LAST!" set "PROGRESS=!FIRST!"
if %RC% GEQ 0 (
  echo converted: !PROGRESS!
) else if %RC% EQU -15 (
  echo nothing converted: no converter recognised the document, or the destination cannot be created
) else (
  echo conversion failed with %RC% ^(!PROGRESS!^)
)
endlocal

rem Export through the registered converter at INDEX (selector X: registered converters only).
> "%REQ%"  echo %WORK%\Out\letter.rtf
>> "%REQ%" echo %WORK%\Out\copy.doc
>> "%REQ%" echo X
>> "%REQ%" echo %INDEX%
start "" /wait "%DOCVANE%" %REQ%
echo export: %ERRORLEVEL%
