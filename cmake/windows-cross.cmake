# The Windows build of this project: MinGW-w64, with Qt, googletest and cpp-httplib for MinGW
# from the cache that scripts/windows_toolchain.sh fills. The tests run under Wine with a
# prefix of the build folder's own (scripts/wine_run.sh), so ctest runs them as Linux tests.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

if(DEFINED ENV{VISTREL_MINGW_CACHE})
    set(VISTREL_MINGW_CACHE "$ENV{VISTREL_MINGW_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
    set(VISTREL_MINGW_CACHE "$ENV{XDG_CACHE_HOME}/vistrel-mingw")
else()
    set(VISTREL_MINGW_CACHE "$ENV{HOME}/.cache/vistrel-mingw")
endif()
if(NOT EXISTS "${VISTREL_MINGW_CACHE}/qt6.stamp")
    message(FATAL_ERROR "No Qt for MinGW in ${VISTREL_MINGW_CACHE}: run scripts/windows_toolchain.sh")
endif()

set(vistrel_mingw_prefixes ${VISTREL_MINGW_CACHE}/qt6 ${VISTREL_MINGW_CACHE}/gtest
                           ${VISTREL_MINGW_CACHE}/httplib)
list(APPEND CMAKE_FIND_ROOT_PATH ${vistrel_mingw_prefixes})
list(APPEND CMAKE_PREFIX_PATH ${vistrel_mingw_prefixes})
# moc and rcc of the host (Debian's qt6-base-dev-tools, the same Qt version).
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# Where Wine finds the DLLs of Qt and of the compiler's run-time.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE vistrel_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(vistrel_runtime_dir "${vistrel_libstdcxx}" DIRECTORY)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine_run.sh ${CMAKE_BINARY_DIR}/wine-prefix
    "${VISTREL_MINGW_CACHE}/qt6/bin:${vistrel_runtime_dir}:/usr/${VISTREL_MINGW_TRIPLET}/lib")
