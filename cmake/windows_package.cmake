# The Windows Installer package of the cross-build, made by wixl from
# data/vandrel.wxs, and the Authenticode signatures of its programs and of
# the package itself, made by osslsigncode.
#
# Everything that ships lands in <build>/package: the programs (signed when
# a certificate is given) and vandrel-<version>-x64.msi. The programs in
# <build>/bin stay as the linker made them, for the tests.

option(VANDREL_BUILD_MSI "Build the Windows Installer package (needs wixl)" ON)
if(NOT VANDREL_BUILD_MSI)
  return()
endif()

find_program(VANDREL_WIXL wixl)
if(NOT VANDREL_WIXL)
  message(FATAL_ERROR "wixl was not found; it builds the Windows Installer package. "
    "On Debian: apt-get install wixl. Or configure with -DVANDREL_BUILD_MSI=OFF.")
endif()

set(VANDREL_PUBLISHER "Vandrel developers" CACHE STRING
  "The publisher that Windows shows for the installed program")

# Windows Installer compares versions as major.minor.build, with major and
# minor below 256 and build below 65536; a fourth field is ignored, so two
# versions that differ only there would never replace each other.
if(NOT PROJECT_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$"
   OR CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 65535)
  message(FATAL_ERROR "The Windows Installer package needs a version major.minor.build "
    "(at most 255.255.65535); the project's is ${PROJECT_VERSION}")
endif()

# Signing. Each setting may also come from the environment variable of the
# same name, read when CMake configures.
set(VANDREL_SIGN_CERT "" CACHE FILEPATH
  "Code-signing certificate, PEM or DER, with its intermediate certificates; signing is off without it")
set(VANDREL_SIGN_KEY "" CACHE STRING
  "The certificate's private key: a PEM or DER file, or with VANDREL_SIGN_PKCS11_MODULE a PKCS#11 URI")
set(VANDREL_SIGN_PKCS11_MODULE "" CACHE FILEPATH
  "The PKCS#11 module of the token or HSM that holds the key; empty when the key is a file")
set(VANDREL_SIGN_PASSWORD_FILE "" CACHE FILEPATH
  "A file that holds the key's password or the token's PIN, if it has one")
set(VANDREL_SIGN_TIMESTAMP_URL "" CACHE STRING
  "An RFC 3161 time-stamping server; empty (the default) signs without a time stamp, which needs no network")
foreach(setting VANDREL_SIGN_CERT VANDREL_SIGN_KEY VANDREL_SIGN_PKCS11_MODULE VANDREL_SIGN_PASSWORD_FILE
                VANDREL_SIGN_TIMESTAMP_URL)
  if("${${setting}}" STREQUAL "" AND NOT "$ENV{${setting}}" STREQUAL "")
    set(${setting} "$ENV{${setting}}")
  endif()
endforeach()

set(vandrel_sign)
set(vandrel_sign_inputs)
if(VANDREL_SIGN_CERT OR VANDREL_SIGN_KEY)
  if(NOT VANDREL_SIGN_CERT OR NOT VANDREL_SIGN_KEY)
    message(FATAL_ERROR "Signing needs both VANDREL_SIGN_CERT and VANDREL_SIGN_KEY")
  endif()
  # A key on a token is named by a URI, not a file.
  set(files VANDREL_SIGN_CERT VANDREL_SIGN_PASSWORD_FILE)
  if(VANDREL_SIGN_PKCS11_MODULE)
    list(APPEND files VANDREL_SIGN_PKCS11_MODULE)
  else()
    list(APPEND files VANDREL_SIGN_KEY)
  endif()
  foreach(file IN LISTS files)
    if(${file} AND NOT EXISTS "${${file}}")
      message(FATAL_ERROR "${file} names ${${file}}, which does not exist")
    endif()
    list(APPEND vandrel_sign_inputs ${${file}})
  endforeach()
  find_program(VANDREL_OSSLSIGNCODE osslsigncode)
  if(NOT VANDREL_OSSLSIGNCODE)
    message(FATAL_ERROR "osslsigncode was not found; it signs the programs and the package. "
      "On Debian: apt-get install osslsigncode.")
  endif()
  # SHA-256 digests; the description is what Windows shows as the signed
  # program's name when it asks for consent. A PKCS#11 URI separates its
  # attributes with semicolons, which a CMake list would split at.
  string(REPLACE ";" "$<SEMICOLON>" key "${VANDREL_SIGN_KEY}")
  set(vandrel_sign ${VANDREL_OSSLSIGNCODE} sign -certs ${VANDREL_SIGN_CERT} -key ${key}
    -h sha256 -n "${PROJECT_DESCRIPTION}")
  if(VANDREL_SIGN_PKCS11_MODULE)
    list(APPEND vandrel_sign -pkcs11module ${VANDREL_SIGN_PKCS11_MODULE})
  endif()
  if(VANDREL_SIGN_PASSWORD_FILE)
    list(APPEND vandrel_sign -readpass ${VANDREL_SIGN_PASSWORD_FILE})
  endif()
  if(VANDREL_SIGN_TIMESTAMP_URL)
    list(APPEND vandrel_sign -ts ${VANDREL_SIGN_TIMESTAMP_URL})
  endif()
  message(STATUS "Signing the programs and the package with ${VANDREL_SIGN_CERT}")
endif()

# The package's source names the files it installs. A program is built by
# the target of the same name; the library's files are known by name.
set(wxs ${PROJECT_SOURCE_DIR}/data/vandrel.wxs)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${wxs})
file(READ ${wxs} source)
string(REGEX MATCHALL "<File[^>]*Source=\"[^\"]*\"" files "${source}")
set(programs)
set(package ${CMAKE_BINARY_DIR}/package)
set(msi ${package}/vandrel-${PROJECT_VERSION}-x64.msi)
file(MAKE_DIRECTORY ${package})

# Programs and the DLL are signed; osslsigncode never overwrites its
# output, so the old file goes first.
set(staged)
foreach(file IN LISTS files)
  string(REGEX REPLACE ".*Source=\"([^\"]*)\"" "\\1" name "${file}")
  string(REGEX REPLACE "\\.exe$" "" program "${name}")
  set(signed ON)
  if(name STREQUAL "vandrel.dll")
    set(built $<TARGET_FILE:vandrel_shared>)
    set(target vandrel_shared)
  elseif(name STREQUAL "vandrel.lib")
    set(built $<TARGET_LINKER_FILE:vandrel_shared>)
    set(target vandrel_shared)
    set(signed OFF)
  elseif(name STREQUAL "vandrel.h")
    set(built ${PROJECT_SOURCE_DIR}/src/lib/include/vandrel/vandrel.h)
    set(target ${built})
    set(signed OFF)
  elseif(program STREQUAL name)
    message(FATAL_ERROR "data/vandrel.wxs installs ${name}, which is neither a program (.exe) nor the library's")
  elseif(NOT TARGET ${program})
    message(FATAL_ERROR "data/vandrel.wxs installs ${name}, but no target named ${program} builds it")
  else()
    set(built $<TARGET_FILE:${program}>)
    set(target ${program})
    list(APPEND programs ${program})
  endif()
  set(out ${package}/${name})
  if(vandrel_sign AND signed)
    set(stage COMMAND ${CMAKE_COMMAND} -E rm -f ${out}
              COMMAND ${vandrel_sign} -in ${built} -out ${out})
  else()
    set(stage COMMAND ${CMAKE_COMMAND} -E copy ${built} ${out})
  endif()
  add_custom_command(OUTPUT ${out} ${stage} DEPENDS ${target} ${vandrel_sign_inputs} VERBATIM)
  list(APPEND staged ${out})
endforeach()
if(NOT programs)
  message(FATAL_ERROR "data/vandrel.wxs names no program")
endif()

# wixl looks for each file beside data/vandrel.wxs, where the icon is, and
# in the folder it runs in, where the programs are.
set(wixl ${VANDREL_WIXL} -a x64 -D Version=${PROJECT_VERSION} -D "Publisher=${VANDREL_PUBLISHER}")
if(vandrel_sign)
  set(build_msi
    COMMAND ${CMAKE_COMMAND} -E rm -f ${msi} ${msi}.unsigned
    COMMAND ${wixl} -o ${msi}.unsigned ${wxs}
    COMMAND ${vandrel_sign} -in ${msi}.unsigned -out ${msi}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${msi}.unsigned)
else()
  set(build_msi
    COMMAND ${CMAKE_COMMAND} -E echo
      "Not signed: vandrel-${PROJECT_VERSION}-x64.msi and its programs (set VANDREL_SIGN_CERT and VANDREL_SIGN_KEY to sign)"
    COMMAND ${wixl} -o ${msi} ${wxs})
endif()
add_custom_command(OUTPUT ${msi}
  ${build_msi}
  DEPENDS ${wxs} ${PROJECT_SOURCE_DIR}/data/vandrel.ico ${staged} ${vandrel_sign_inputs}
  WORKING_DIRECTORY ${package}
  COMMENT "Packaging vandrel-${PROJECT_VERSION}-x64.msi"
  VERBATIM)
add_custom_target(vandrel_msi ALL DEPENDS ${msi})

# The Python package as a wheel for `pip install`, with the (signed)
# vandrel.dll inside, built offline with Debian's python3-build.
find_program(VANDREL_PYTHON3 python3 HINTS /usr/bin)
set(wheel_stage ${CMAKE_BINARY_DIR}/wheel)
set(wheel ${package}/vandrel-${PROJECT_VERSION}-py3-none-win_amd64.whl)
configure_file(${PROJECT_SOURCE_DIR}/data/wheel/pyproject.toml ${wheel_stage}/pyproject.toml @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/wheel/setup.cfg ${wheel_stage}/setup.cfg COPYONLY)
file(GLOB python_sources ${PROJECT_SOURCE_DIR}/src/python/vandrel/*.py ${PROJECT_SOURCE_DIR}/src/python/vandrel/py.typed)
add_custom_command(OUTPUT ${wheel}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${wheel_stage}/vandrel ${wheel_stage}/build ${wheel_stage}/vandrel.egg-info ${wheel}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${wheel_stage}/vandrel
  COMMAND ${CMAKE_COMMAND} -E copy ${python_sources} ${package}/vandrel.dll ${wheel_stage}/vandrel/
  COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1
    ${VANDREL_PYTHON3} -m build --wheel --no-isolation --outdir ${package} ${wheel_stage} > ${wheel_stage}/build.log
  DEPENDS ${python_sources} ${package}/vandrel.dll ${PROJECT_SOURCE_DIR}/data/wheel/pyproject.toml
    ${PROJECT_SOURCE_DIR}/data/wheel/setup.cfg
  COMMENT "Building the wheel vandrel-${PROJECT_VERSION}-py3-none-win_amd64.whl"
  VERBATIM)
add_custom_target(vandrel_wheel ALL DEPENDS ${wheel})
