#!/usr/bin/env bash
# The folders and INI files the case tables talk about, created in a prefix's drive C:.
#   fixture.sh PREFIX        everything
#   fixture.sh PREFIX ini    only the INI files (again): the Wine run of the writing cases changes them
set -euo pipefail
prefix=$1
c=$prefix/drive_c

ini() {
  rm -rf "$c/ini" "$c/windows/velmorchk.ini"
  mkdir -p "$c/ini/out" "$c/ini/ro"
  # Reading: blanks, quotes, doubled keys and sections, comments, lines without "=", a key before any
  # section, LF and CR LF.
  printf 'orphan=before any section\r\n[Main]\r\nKey=Value\r\n  Spaced  =   padded value   \r\nQuoted="in quotes"\r\nSingle='"'"'single'"'"'\r\nHalf="open\r\nMixed="a'"'"'\r\nEmpty=\r\nBlankOnly=   \r\nKey=second\r\n;Comment=x\r\nnoequals\r\nInline=val ; not a comment\r\nUml=\xe4\xf6\xfc\r\nLong=0123456789\r\nEq=a=b\r\n=novalue\r\nQuoteBlank=" x "\r\nInner="a" b "c"\r\nSingleBlank='"'"' single '"'"'\r\n[main]\r\nOther=1\r\n[ Blank ]\r\nB=2\r\n[Two]\r\nA=1\n\nB = 2\n[Ä]\r\nk=umlaut section\r\n[Empty]\r\n' >"$c/ini/read.ini"
  printf '\xef\xbb\xbf[S]\r\nK=\xc3\xa4\r\n' >"$c/ini/bom.ini"
  printf '' >"$c/ini/empty.ini"
  printf '[S]\nK=lf only\nL=x' >"$c/ini/lf.ini"
  # Writing: each case copies a template to its own output file first.
  printf '[S]\r\nK=v\r\n; comment\r\nOld=1\r\n[T]\r\nX=y\r\n' >"$c/ini/tmpl.ini"
  printf '[S]\r\nK=v\r\n\r\n[T]\r\nX=y\r\n' >"$c/ini/blank.ini"
  printf '\xef\xbb\xbf[S]\r\nK=v\r\n' >"$c/ini/tmplbom.ini"
  printf '[S]\r\n  K = old\r\n' >"$c/ini/spaced.ini"
  printf '[S]\r\nK=v\r\n' >"$c/ini/ro/locked.ini"
  chmod 444 "$c/ini/ro/locked.ini"
}

if [ "${2:-}" = ini ]; then
  ini
  exit 0
fi

rm -rf "$c/fx" "$c/work"
mkdir -p "$c/work/sub" "$c/fx"
mk() {
  local p=$c/fx/$1
  [ -d "${p%/*}" ] || mkdir -p "${p%/*}"
  : >"$p"
}

# Masks: extensions, names without dot, several dots, ? and * rules.
for n in X.TXT Y.TXT X SH1 SH12 SH123 A.ASC B.ASC.BAK C.ASCX noext a.b.c AB A.DAT X.DATA \
  EPL_ASC.EXF S1.EXF s2.exf bild.bmp README _under Zeta '!bang' 'A B.TXT' 'Ärger.txt' 'ärger2.txt' \
  'Straße.ASC' .hidden.txt; do
  mk "m/$n"
done
mkdir -p "$c/fx/m/SUB.EXF" "$c/fx/m/Dir" "$c/fx/m/dir.d"

# Listing order: names alike in their first eight letters, non-ASCII letters; a ? against a letter
# of two UTF-8 bytes.
for n in Verzeichnis_b verzeichnis_a Verzeichnisse VERZEICHNIS_A Verzeichnis \
  $'\xc3\xa4rgerlich_Z' $'\xc3\x84RGERLICH_a'; do mk "sort/$n"; done
mk $'u/\xc3\x841'
# Names alike in their first sixteen letters, past them only in case, length or a non-ASCII letter;
# the letters' neighbours in ASCII ('@' '[' '`' '{'), which upper-casing must leave as they are.
for n in Schaltplan_Seite_b schaltplan_seite_A SCHALTPLAN_SEITE_a Schaltplan_Seite Schaltplan_Seitex \
  $'Schaltplan_Seite\xc3\xa4' $'SCHALTPLAN_SEITE\xc3\x84' a@1 'A[1' 'a`1' 'a{1' 'A~1' 'a^1' Z@1 z_1; do
  mk "sort16/$n"
done

# Case variants of one name on the Linux side.
for n in A.ASC a.asc b.ASC B.asc c.asc Mixed.Txt MIXED.TXT; do mk "case/$n"; done

# Links: to a file, to a folder, dangling, to itself, back up.
mkdir -p "$c/fx/lnk/dir"
mk lnk/file.txt
ln -s file.txt "$c/fx/lnk/tofile.txt"
ln -s dir "$c/fx/lnk/todir"
ln -s /nonexistent/velmor "$c/fx/lnk/dangling.txt"
ln -s gone "$c/fx/lnk/gone"
ln -s selfloop "$c/fx/lnk/selfloop"
ln -s .. "$c/fx/lnk/up"

# Folders with trailing-dot spellings in paths, and nesting for "." and "..".
mk "deep/a/b/c.txt"
mk "deep/a/x.txt"
mkdir -p "$c/fx/empty"

# A drive root listing (no "." and ".." there): D: is the fixture's own small drive.
mkdir -p "$prefix/drive_d/ROOTDIR"
: >"$prefix/drive_d/root.txt"
ln -sfn ../drive_d "$prefix/dosdevices/d:"

ini
