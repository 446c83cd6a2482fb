; The system PATH, changed in place without ever passing through an NSIS
; string: those hold 1024 characters, a PATH may hold up to 32767, and a cut
; PATH would break every program that relies on the rest of it. The value is
; read, searched, changed and written in a zero-filled heap block through the
; registry and string functions of Windows.
;
; Push FOLDER, Call AddToSystemPath, Pop RESULT:
;   "added"    FOLDER now ends the PATH (after a ";" unless the PATH was empty
;              or already ended in one)
;   "present"  FOLDER already was one of its entries (compared without case)
;   "toolong"  the PATH would outgrow an environment variable; left unchanged
;   "error"    the value could not be read or written, or is not a string
; Push FOLDER, Call un.RemoveFromSystemPath, Pop RESULT: "removed" (its first
;   entry equal to FOLDER is gone with the separator before it), "absent" or "error".
; Both use $0-$9 and $R0-$R3.

!define ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
; HKEY_LOCAL_MACHINE, sign-extended as a 64-bit handle.
!define ENV_ROOT -2147483646
; KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY
!define ENV_ACCESS 0x103
; Characters of an environment variable's value, without its terminator.
!define ENV_MAX_CHARS 32766
!define SEMICOLON 59

; Opens the key into $0 and reads the type ($2) and byte size ($3) of Path;
; $1 is the registry's status (2: no Path yet).
!macro OpenSystemPath
  System::Call 'advapi32::RegOpenKeyExW(p ${ENV_ROOT}, w "${ENV_KEY}", i 0, i ${ENV_ACCESS}, *p 0 r0) i .r1'
  ${If} $1 = 0
    System::Call 'advapi32::RegQueryValueExW(p r0, w "Path", p 0, *i 0 r2, p 0, *i 0 r3) i .r1'
    ${If} $1 = 0
    ${AndIf} $2 <> 1 ; REG_SZ
    ${AndIf} $2 <> 2 ; REG_EXPAND_SZ
      StrCpy $1 13 ; ERROR_INVALID_DATA: not a string, left alone
    ${EndIf}
  ${EndIf}
!macroend

; Allocates $6 for ";" + the value + ";" + EXTRA characters + terminator and
; reads the value into it behind the leading ";" ($7 points there); $8 is the
; value's length. $1 is nonzero when this failed.
!macro ReadSystemPathBetweenSeparators EXTRA
  IntOp $5 $3 / 2
  IntOp $5 $5 + ${EXTRA}
  IntOp $5 $5 + 4
  IntOp $5 $5 * 2
  System::Alloc $5
  Pop $6
  ${If} $6 = 0
    StrCpy $1 8 ; ERROR_NOT_ENOUGH_MEMORY
  ${Else}
    System::Call '*$6(&i2 ${SEMICOLON})'
    IntPtrOp $7 $6 + 2
    StrCpy $1 0
    ${If} $3 > 0
      ; A value that changed since its size was read fails here with ERROR_MORE_DATA.
      System::Call 'advapi32::RegQueryValueExW(p r0, w "Path", p 0, p 0, p r7, *i r3) i .r1'
    ${EndIf}
    System::Call 'kernel32::lstrlenW(p r7) i .r8'
    System::Call 'kernel32::lstrcatW(p r6, w ";")'
  ${EndIf}
!macroend

; Writes the string at $7 as Path with the type it had ($2); $1 is the status.
!macro WriteSystemPath
  System::Call 'kernel32::lstrlenW(p r7) i .r1'
  IntOp $1 $1 + 1
  IntOp $1 $1 * 2
  System::Call 'advapi32::RegSetValueExW(p r0, w "Path", i 0, i r2, p r7, i r1) i .r1'
!macroend

; Stores the character CHAR at index INDEX of the string at $7.
!macro PutPathChar INDEX CHAR
  IntOp $9 ${INDEX} * 2
  IntPtrOp $9 $7 + $9
  System::Call '*$9(&i2 ${CHAR})'
!macroend

Function AddToSystemPath
  Pop $R0
  StrCpy $R1 "error"
  StrCpy $6 0
  !insertmacro OpenSystemPath
  ${If} $1 = 2
    StrCpy $2 2 ; a new Path is REG_EXPAND_SZ, as Windows' own
    StrCpy $3 0
    StrCpy $1 0
  ${EndIf}
  ${If} $1 = 0
    StrLen $4 $R0
    !insertmacro ReadSystemPathBetweenSeparators $4
  ${EndIf}
  ${If} $1 = 0
    StrCpy $R2 ";$R0;"
    System::Call 'shlwapi::StrStrIW(p r6, w R2) p .r9'
    ${If} $9 != 0
      StrCpy $R1 "present"
    ${Else}
      StrCpy $R3 ";$R0"
      ${If} $8 = 0
        StrCpy $R3 $R0
      ${Else}
        IntOp $9 $8 - 1
        IntOp $9 $9 * 2
        IntPtrOp $9 $7 + $9
        System::Call '*$9(&i2 .r5)'
        ${If} $5 = ${SEMICOLON}
          StrCpy $R3 $R0
        ${EndIf}
      ${EndIf}
      ; Drop the ";" that closed the value for the search.
      !insertmacro PutPathChar $8 0
      StrLen $5 $R3
      IntOp $5 $5 + $8
      ${If} $5 > ${ENV_MAX_CHARS}
        StrCpy $R1 "toolong"
      ${Else}
        System::Call 'kernel32::lstrcatW(p r7, w R3)'
        !insertmacro WriteSystemPath
        ${If} $1 = 0
          StrCpy $R1 "added"
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $6 <> 0
    System::Free $6
  ${EndIf}
  System::Call 'advapi32::RegCloseKey(p r0)'
  Push $R1
FunctionEnd

Function un.RemoveFromSystemPath
  Pop $R0
  StrCpy $R1 "error"
  StrCpy $6 0
  !insertmacro OpenSystemPath
  ${If} $1 = 2
    StrCpy $R1 "absent"
  ${ElseIf} $1 = 0
    !insertmacro ReadSystemPathBetweenSeparators 0
    ${If} $1 = 0
      StrCpy $R1 "absent"
      StrCpy $R2 ";$R0;"
      System::Call 'shlwapi::StrStrIW(p r6, w R2) p .r9'
      ${If} $9 != 0
        ; Cut ";FOLDER" out; the ";" after it separates what was around it.
        StrCpy $R3 ";$R0"
        StrLen $4 $R3
        IntOp $4 $4 * 2
        IntPtrOp $5 $9 + $4
        System::Call 'kernel32::lstrlenW(p r5) i .r4'
        IntOp $4 $4 + 1
        IntOp $4 $4 * 2
        System::Call 'kernel32::RtlMoveMemory(p r9, p r5, p r4)'
        ; Now ";REST;" or ";": drop the closing ";" of the search; the
        ; value starts behind the opening one, at $7.
        System::Call 'kernel32::lstrlenW(p r6) i .r8'
        ${If} $8 > 1
          IntOp $8 $8 - 2
          !insertmacro PutPathChar $8 0
        ${EndIf}
        !insertmacro WriteSystemPath
        ${If} $1 = 0
          StrCpy $R1 "removed"
        ${Else}
          StrCpy $R1 "error"
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $6 <> 0
    System::Free $6
  ${EndIf}
  System::Call 'advapi32::RegCloseKey(p r0)'
  Push $R1
FunctionEnd
