# Installs the launcher as bin/pelmora with the installed folders filled in. Run by
# `cmake --install` (the prefix given then is the one filled in; DESTDIR only moves where
# the files are written). PELMORA_LAUNCHER_SOURCE is scripts/run-game.sh,
# PELMORA_LAUNCHER_FILLED where the filled copy is written before it is installed.
file(READ "${PELMORA_LAUNCHER_SOURCE}" script)
foreach(pair "PROGRAM_DIR=lib/pelmora" "DATA_DIR=share/pelmora")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 folder)
  # The script holds each folder in single quotes; a quote in the prefix is closed,
  # escaped and reopened.
  string(REPLACE "'" "'\\''" path "${CMAKE_INSTALL_PREFIX}/${folder}")
  string(REPLACE "@PELMORA_${name}@" "${path}" script "${script}")
endforeach()
file(WRITE "${PELMORA_LAUNCHER_FILLED}" "${script}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/bin" TYPE PROGRAM FILES "${PELMORA_LAUNCHER_FILLED}")
