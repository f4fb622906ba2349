# vorsil.exe: a 32-bit GUI program without a C runtime.
enable_language(RC)

# Nothing but the four system DLLs the program is allowed to import.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")

add_executable(vorsil WIN32
    ${PRODUCT_SOURCES}
    src/launcher/entry.cpp
    src/ui/vorsil.rc)
target_include_directories(vorsil PRIVATE src src/ui)
target_compile_options(vorsil PRIVATE
    ${PRODUCT_FLAGS}
    -Os
    -fno-asynchronous-unwind-tables -fno-unwind-tables
    -ffunction-sections -fdata-sections
    -fno-stack-protector
    # Keeps GCC from turning byte loops into calls the missing C runtime would supply.
    -fno-tree-loop-distribute-patterns
    -fno-ident)
target_link_options(vorsil PRIVATE
    -nostdlib -mwindows
    -Wl,-e,_WinMainCRTStartup
    -Wl,--gc-sections
    -Wl,--dynamicbase,--nxcompat
    -Wl,--major-subsystem-version,4,--minor-subsystem-version,0
    -Wl,--major-os-version,4,--minor-os-version,0
    -s)
# libgcc supplies ___chkstk_ms for stack frames larger than a page.
target_link_libraries(vorsil PRIVATE kernel32 user32 advapi32 shell32 gcc)

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/wine/CMakeLists.txt)
    add_subdirectory(tests/wine)
endif()
