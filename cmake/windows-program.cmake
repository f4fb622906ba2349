# vorsil.exe: a 32-bit GUI program without a C runtime.
enable_language(RC)

# Nothing but the four system DLLs the program is allowed to import.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(PROGRAM_ICON ${CMAKE_CURRENT_BINARY_DIR}/program.ico)
add_custom_command(OUTPUT ${PROGRAM_ICON}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/src/ui/make_icon.py
            ${CMAKE_SOURCE_DIR}/src/ui/program-icon.txt ${PROGRAM_ICON}
    DEPENDS ${CMAKE_SOURCE_DIR}/src/ui/make_icon.py ${CMAKE_SOURCE_DIR}/src/ui/program-icon.txt
    COMMENT "Drawing the program's icon")
# The manifest is embedded without its comments and indentation: every byte
# counts in a program of a few KiB.
set(MANIFEST_SOURCE ${CMAKE_SOURCE_DIR}/src/ui/vorsil.manifest)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${MANIFEST_SOURCE})
file(READ ${MANIFEST_SOURCE} manifest_text)
string(REGEX REPLACE "<!--[^>]*-->" "" manifest_text "${manifest_text}")
string(REGEX REPLACE ">[ \t\r\n]+" ">" manifest_text "${manifest_text}")
string(REGEX REPLACE "[ \t\r\n]+<" "<" manifest_text "${manifest_text}")
string(REGEX REPLACE "[ \t\r\n]+" " " manifest_text "${manifest_text}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/embedded.manifest "${manifest_text}")
set_source_files_properties(src/ui/vorsil.rc PROPERTIES
    OBJECT_DEPENDS "${PROGRAM_ICON};${CMAKE_CURRENT_BINARY_DIR}/embedded.manifest;${CMAKE_SOURCE_DIR}/src/ui/resource.h")

add_executable(vorsil WIN32
    ${PRODUCT_SOURCES}
    src/launcher/entry.cpp
    src/ui/vorsil.rc)
target_include_directories(vorsil PRIVATE src src/ui src/launcher src/log src/removal ${CMAKE_CURRENT_BINARY_DIR})
# Code generation happens at link time (the whole program optimised at once
# is about an eighth smaller), so the link gets the same options.
set(PROGRAM_CODE_OPTIONS
    -Os
    -flto
    -fno-asynchronous-unwind-tables -fno-unwind-tables
    -ffunction-sections
    -fno-stack-protector
    # Smaller code: no frame pointers, and the 4-byte stack alignment Windows
    # itself keeps on x86.
    -fomit-frame-pointer -mpreferred-stack-boundary=2
    # Keeps GCC from turning byte loops into calls the missing C runtime would supply.
    -fno-tree-loop-distribute-patterns
    -fno-ident
    # Two builds of the same sources give the same bytes, wherever the folders are.
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
target_compile_options(vorsil PRIVATE ${PRODUCT_FLAGS} ${PROGRAM_CODE_OPTIONS})
# The seed GCC otherwise draws at random names the link-time objects' sections.
foreach(source ${PRODUCT_SOURCES} src/launcher/entry.cpp)
    set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS -frandom-seed=${source})
endforeach()
# The linker's own script with the read-only data placed in .text: one section
# fewer saves up to a file alignment (512 bytes) of padding.
execute_process(COMMAND ${CMAKE_LINKER} --verbose OUTPUT_VARIABLE linker_help)
string(REGEX MATCH "==================================================\n(.*)\n==================================================" linker_script "${linker_help}")
set(linker_script "${CMAKE_MATCH_1}")
string(REPLACE "*(.gnu.linkonce.t.*)" "*(.gnu.linkonce.t.*) *(.rdata) *(SORT(.rdata$*))" linker_script "${linker_script}")
if(NOT linker_script MATCHES "SORT\\(\\.rdata")
    message(FATAL_ERROR "the linker's default script has no place for the read-only data")
endif()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/vorsil.ld "${linker_script}")

target_link_options(vorsil PRIVATE
    ${PROGRAM_CODE_OPTIONS}
    -nostdlib -mwindows
    -Wl,-T,${CMAKE_CURRENT_BINARY_DIR}/vorsil.ld
    -Wl,-e,_WinMainCRTStartup
    -Wl,--gc-sections
    -Wl,--no-insert-timestamp
    -Wl,--dynamicbase,--nxcompat
    -Wl,--major-subsystem-version,4,--minor-subsystem-version,0
    -Wl,--major-os-version,4,--minor-os-version,0
    -s)
# The DOS stub gives way to the PE headers, which then fit in one file
# alignment unit instead of two; the resources become read-only, and the
# checksum is written as signing tools write it.
add_custom_command(TARGET vorsil POST_BUILD
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/cmake/compact_headers.py $<TARGET_FILE:vorsil>
    VERBATIM)
# libgcc supplies ___chkstk_ms for stack frames larger than a page.
target_link_libraries(vorsil PRIVATE kernel32 user32 advapi32 shell32 gcc)

# Windows-side test programs that drive the real program under Wine.
foreach(part tests/contract tests/wine tests/scenarios)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${part}/CMakeLists.txt)
        add_subdirectory(${part})
    endif()
endforeach()
