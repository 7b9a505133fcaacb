/* The Windows side of the differential check: runs under Wine and prints what the Win32 calls
 * return for each request line read from standard input.
 *
 * Request lines are tab-separated fields; a field may hold %HH escapes (any byte) and the field %N
 * stands for a missing (NULL) argument. Texts are UTF-8 on both ends; they are converted to and
 * from the ANSI code page around each A call, so the result does not depend on the locale Wine
 * picked. Requests:
 *   find  ID  PATTERN                      FindFirstFileA / FindNextFileA
 *   full  ID  CURRENT-FOLDER  PATH         SetCurrentDirectoryA, then GetFullPathNameA
 *   get   ID  FILE  SECTION  KEY  DEFAULT  SIZE     GetPrivateProfileStringA
 *   set   ID  TEMPLATE  FILE  SECTION  KEY  VALUE   copy TEMPLATE to FILE (when TEMPLATE is not
 *                                                   %N), WritePrivateProfileStringA, then the file
 * Each answer is one line: ID, a tab, and the result in the same escaped form. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_FIELDS 8
#define MAX_TEXT 65536

static char *fields[MAX_FIELDS];
static int present[MAX_FIELDS];

static int hexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Decodes %HH escapes in place. */
static void unescape(char *s) {
  char *out = s;
  while (*s) {
    if (s[0] == '%' && hexval(s[1]) >= 0 && hexval(s[2]) >= 0) {
      *out++ = (char)(hexval(s[1]) * 16 + hexval(s[2]));
      s += 3;
    } else {
      *out++ = *s++;
    }
  }
  *out = 0;
}

/* Writes bytes with every byte below 0x21 (blanks included), %, | and every byte from 0x7F on
 * escaped, so that answers are plain ASCII lines. */
static void put_escaped(const char *s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = (unsigned char)s[i];
    if (c <= 0x20 || c == '%' || c == '|' || c >= 0x7f)
      printf("%%%02X", c);
    else
      putchar(c);
  }
}

/* UTF-8 → ANSI code page; returns a static buffer per slot. */
static char *to_ansi(const char *utf8, int slot) {
  static char buffers[MAX_FIELDS][MAX_TEXT];
  static WCHAR wide[MAX_TEXT];
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, MAX_TEXT);
  if (n <= 0) return strcpy(buffers[slot], utf8);
  WideCharToMultiByte(CP_ACP, 0, wide, -1, buffers[slot], MAX_TEXT, NULL, NULL);
  return buffers[slot];
}

static void put_ansi(const char *ansi, size_t n) {
  static WCHAR wide[MAX_TEXT];
  static char utf8[MAX_TEXT * 3];
  int w = MultiByteToWideChar(CP_ACP, 0, ansi, (int)n, wide, MAX_TEXT);
  int u = WideCharToMultiByte(CP_UTF8, 0, wide, w, utf8, sizeof utf8, NULL, NULL);
  put_escaped(utf8, (size_t)u);
}

static const char *arg(int i) { return present[i] ? to_ansi(fields[i], i) : NULL; }

static void do_find(void) {
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(arg(2), &data);
  if (h == INVALID_HANDLE_VALUE) {
    printf("!%lu", GetLastError());
    return;
  }
  int first = 1;
  do {
    if (!first) putchar('|');
    first = 0;
    put_ansi(data.cFileName, strlen(data.cFileName));
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) putchar('\\');
  } while (FindNextFileA(h, &data));
  FindClose(h);
}

static void do_full(void) {
  char out[MAX_PATH * 4];
  char *part = NULL;
  if (!SetCurrentDirectoryA(arg(2))) {
    printf("!cwd");
    return;
  }
  DWORD n = GetFullPathNameA(arg(3), sizeof out, out, &part);
  if (n == 0) {
    printf("!");
    return;
  }
  put_ansi(out, n);
}

static void do_get(void) {
  static char out[MAX_TEXT];
  DWORD size = (DWORD)atoi(fields[6]);
  if (size > sizeof out) size = sizeof out;
  memset(out, 0, sizeof out);
  DWORD n = GetPrivateProfileStringA(arg(3), arg(4), arg(5), out, size, arg(2));
  put_ansi(out, n);
}

static void do_set(void) {
  if (present[2]) CopyFileA(arg(2), arg(3), FALSE);
  BOOL ok = WritePrivateProfileStringA(arg(4), arg(5), arg(6), arg(3));
  printf("%d|", ok ? 1 : 0);
  /* A name without folder is a file of the Windows folder. */
  char path[MAX_PATH * 2];
  if (strchr(arg(3), '\\') == NULL) {
    GetWindowsDirectoryA(path, MAX_PATH);
    strcat(path, "\\");
    strcat(path, arg(3));
  } else {
    strcpy(path, arg(3));
  }
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) {
    printf("!missing");
    return;
  }
  static char content[MAX_TEXT];
  DWORD n = 0;
  ReadFile(h, content, sizeof content, &n, NULL);
  CloseHandle(h);
  put_escaped(content, n); /* raw bytes: the file's own encoding is part of the answer */
}

int main(void) {
  static char line[MAX_TEXT];
  setvbuf(stdout, NULL, _IOFBF, 1 << 16);
  while (fgets(line, sizeof line, stdin)) {
    size_t len = strlen(line);
    while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = 0;
    if (len == 0) continue;
    int count = 0;
    char *p = line;
    while (count < MAX_FIELDS) {
      fields[count] = p;
      char *tab = strchr(p, '\t');
      if (tab) *tab = 0;
      present[count] = strcmp(fields[count], "%N") != 0;
      unescape(fields[count]);
      ++count;
      if (!tab) break;
      p = tab + 1;
    }
    for (int i = count; i < MAX_FIELDS; ++i) {
      fields[i] = "";
      present[i] = 0;
    }
    fputs(fields[1], stdout);
    putchar('\t');
    if (strcmp(fields[0], "find") == 0) do_find();
    else if (strcmp(fields[0], "full") == 0) do_full();
    else if (strcmp(fields[0], "get") == 0) do_get();
    else if (strcmp(fields[0], "set") == 0) do_set();
    else printf("!request");
    putchar('\n');
  }
  fflush(stdout);
  return 0;
}
