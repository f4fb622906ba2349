# vorsil.exe: a GUI program without a C runtime, for 32-bit Windows (every
# Windows from the 95 family and NT 4.0 on) or for x64 (XP x64 and Server 2003 on).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    # x64 names functions without the leading underscore, keeps the stack
    # 16-byte aligned, and starts at version 5.2.
    set(PROGRAM_ENTRY WinMainCRTStartup)
    set(PROGRAM_STACK_OPTIONS)
    set(PROGRAM_SYSTEM_VERSION 5 2)
else()
    set(PROGRAM_ENTRY _WinMainCRTStartup)
    # The 4-byte stack alignment Windows itself keeps on x86.
    set(PROGRAM_STACK_OPTIONS -mpreferred-stack-boundary=2)
    set(PROGRAM_SYSTEM_VERSION 4 0)
endif()
list(GET PROGRAM_SYSTEM_VERSION 0 system_major)
list(GET PROGRAM_SYSTEM_VERSION 1 system_minor)
enable_language(RC)

# Nothing but the four system DLLs the program is allowed to import.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")

find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Installer authors put their own names, version and icon on the program: Windows
# shows them in the file's details, Task Manager, the consent prompt, and
# application-control rules match them.
set(VORSIL_PRODUCT_NAME "vorsil" CACHE STRING "ProductName of the version resource")
set(VORSIL_COMPANY "vorsil developers" CACHE STRING "CompanyName of the version resource")
set(VORSIL_DESCRIPTION "Uninstaller" CACHE STRING "FileDescription of the version resource (Task Manager's name)")
set(VORSIL_COPYRIGHT "Copyright (C) vorsil developers" CACHE STRING "LegalCopyright of the version resource")
set(VORSIL_VERSION "1.0.0.0" CACHE STRING "File and product version: four numbers from 0 to 65535")
set(VORSIL_ICON "" CACHE FILEPATH "A .ico file whose 32 x 32 image becomes the program's icon (empty: the drawn one)")
set(version_text "${VORSIL_VERSION}")
if(NOT version_text MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
    set(version_text "")
endif()
string(REPLACE "." ";" version_numbers "${version_text}")
foreach(number IN LISTS version_numbers)
    if(number GREATER 65535)
        set(version_text "")
    endif()
endforeach()
if(version_text STREQUAL "")
    message(SEND_ERROR "VORSIL_VERSION is \"${VORSIL_VERSION}\": it must be four numbers from 0 to 65535 "
                       "with dots between them, like 2.1.0.0")
endif()
string(REPLACE "." "," BRAND_VERSION_NUMBERS "${version_text}")
# The texts as resource-script strings, UTF-8 (the script says so).
foreach(text PRODUCT_NAME COMPANY DESCRIPTION COPYRIGHT VERSION)
    string(REPLACE "\\" "\\\\" quoted "${VORSIL_${text}}")
    string(REPLACE "\"" "\"\"" quoted "${quoted}")
    set(BRAND_${text} "\"${quoted}\"")
endforeach()
if(VORSIL_ICON)
    # Checked and cut down now, so that a wrong file stops the build before it starts;
    # copied only when it changed, so that configuring again rebuilds nothing.
    set(BRAND_ICON author.ico)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VORSIL_ICON})
    execute_process(COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/src/ui/make_icon.py
                            --from ${VORSIL_ICON} ${CMAKE_CURRENT_BINARY_DIR}/author.ico.new
                    RESULT_VARIABLE icon_failed ERROR_VARIABLE icon_error)
    if(icon_failed)
        message(SEND_ERROR "${icon_error}")
    else()
        configure_file(${CMAKE_CURRENT_BINARY_DIR}/author.ico.new ${CMAKE_CURRENT_BINARY_DIR}/author.ico COPYONLY)
    endif()
else()
    set(BRAND_ICON program.ico)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/program.ico
        COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/src/ui/make_icon.py
                ${CMAKE_SOURCE_DIR}/src/ui/program-icon.txt ${CMAKE_CURRENT_BINARY_DIR}/program.ico
        DEPENDS ${CMAKE_SOURCE_DIR}/src/ui/make_icon.py ${CMAKE_SOURCE_DIR}/src/ui/program-icon.txt
        COMMENT "Drawing the program's icon")
endif()
configure_file(src/ui/branding.h.in branding.h @ONLY)
# The manifest is embedded without its comments and indentation: every byte
# counts in a program of a few KiB.
set(MANIFEST_SOURCE ${CMAKE_SOURCE_DIR}/src/ui/vorsil.manifest)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${MANIFEST_SOURCE})
file(READ ${MANIFEST_SOURCE} manifest_text)
string(REGEX REPLACE "<!--[^>]*-->" "" manifest_text "${manifest_text}")
string(REGEX REPLACE ">[ \t\r\n]+" ">" manifest_text "${manifest_text}")
string(REGEX REPLACE "[ \t\r\n]+<" "<" manifest_text "${manifest_text}")
string(REGEX REPLACE "[ \t\r\n]+" " " manifest_text "${manifest_text}")
# The common controls are looked up for the program's own processor.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    string(REPLACE "processorArchitecture=\"x86\"" "processorArchitecture=\"amd64\"" manifest_text "${manifest_text}")
endif()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/embedded.manifest "${manifest_text}")
set_source_files_properties(src/ui/vorsil.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/${BRAND_ICON};${CMAKE_CURRENT_BINARY_DIR}/branding.h;${CMAKE_CURRENT_BINARY_DIR}/embedded.manifest;${CMAKE_SOURCE_DIR}/src/ui/resource.h")

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
    # One section for the code: a section per function is aligned to 16 bytes on
    # x64, and the padding between them came to some 650 bytes there.
    -fno-function-sections
    -fno-stack-protector
    # Smaller code: no frame pointers.
    -fomit-frame-pointer ${PROGRAM_STACK_OPTIONS}
    # Keeps GCC from turning byte loops into calls the missing C runtime would supply.
    -fno-tree-loop-distribute-patterns
    -fno-ident
    # Two builds of the same sources give the same bytes, wherever the folders are.
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
target_compile_options(vorsil PRIVATE ${PRODUCT_FLAGS} ${PROGRAM_CODE_OPTIONS})
# The report names the version.
target_compile_definitions(vorsil PRIVATE VORSIL_VERSION_TEXT="${version_text}")
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
    -Wl,-e,${PROGRAM_ENTRY}
    -Wl,--gc-sections
    -Wl,--no-insert-timestamp
    -Wl,--dynamicbase,--nxcompat
    -Wl,--major-subsystem-version,${system_major},--minor-subsystem-version,${system_minor}
    -Wl,--major-os-version,${system_major},--minor-os-version,${system_minor}
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
