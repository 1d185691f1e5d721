# Shell functions shared by demo.sh and screenshots.sh (sourced, not run).

# Path of the SQLite ODBC driver (Debian package libsqliteodbc).
sqlite_driver() {
  for f in /usr/lib/*/odbc/libsqlite3odbc.so /usr/lib/odbc/libsqlite3odbc.so \
           /usr/lib64/libsqlite3odbc.so /usr/local/lib/libsqlite3odbc.so; do
    [ -f "$f" ] && { echo "$f"; return 0; }
  done
  echo "SQLite ODBC driver not found (install libsqliteodbc)" >&2
  return 1
}

# write_odbc_config FOLDER DATABASE: a private ODBC set-up in FOLDER with the
# DSN "sse" on the SQLite file DATABASE. Use it with
#   ODBCSYSINI=FOLDER ODBCINI=FOLDER/odbc.ini
# StepAPI=1: the driver hands out rows as SQLite steps to them, as a server's
# driver streams them; without it the driver first copies the whole result,
# which needs several times the memory of the rows listed.
write_odbc_config() {
  driver="$(sqlite_driver)"
  mkdir -p "$1"
  printf '[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=%s\nThreading=2\n' "$driver" \
    > "$1/odbcinst.ini"
  printf '[sse]\nDriver=SQLite3\nDescription=demo trades\nStepAPI=1\nDatabase=%s\n' "$2" > "$1/odbc.ini"
}

# write_dbset FILE: the settings file (GBK, CR LF) for the demo DSN, with two
# DSN list entries for the login window's list.
write_dbset() {
  printf '[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\nDATABASE=OIW\r\nDSN_Description=本地上海报盘数据库\r\n; 更换DSN 列表\r\nDSNDst1=演示数据库,sse.qtrl..OIW\r\nDSNDst2=不存在的数据源,nosuch.qtrl..OIW\r\n' \
    | iconv -f UTF-8 -t GBK > "$1"
}
