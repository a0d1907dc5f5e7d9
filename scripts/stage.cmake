# Stages the program folder: Language/ is refreshed on every build; Settings/Settings.ini is copied
# only when missing, with a watched folder and a store folder that serve at once.
file(MAKE_DIRECTORY ${DST}/Language ${DST}/Settings)
file(COPY ${SRC}/Language/ DESTINATION ${DST}/Language)

if(NOT EXISTS ${DST}/Settings/Settings.ini AND EXISTS ${SRC}/Settings/Settings.ini)
    set(home $ENV{HOME})
    set(documents "")
    find_program(XDG_USER_DIR xdg-user-dir)
    if(XDG_USER_DIR)
        execute_process(COMMAND ${XDG_USER_DIR} DOCUMENTS OUTPUT_VARIABLE documents
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    if(documents STREQUAL "" OR documents STREQUAL home)
        set(documents ${home}/Documents)
    endif()
    set(data "$ENV{XDG_DATA_HOME}")
    if(data STREQUAL "")
        set(data ${home}/.local/share)
    endif()
    set(store ${data}/ostrevan/store)
    file(MAKE_DIRECTORY ${documents} ${store})

    # file(READ) drops the CR of CR LF line ends; the file is written back with CR LF.
    file(READ ${SRC}/Settings/Settings.ini text)
    string(REPLACE "\r" "" text "${text}")
    string(REGEX REPLACE "SOURCE=[^\r\n]*" "SOURCE=${documents}" text "${text}")
    string(REGEX REPLACE "DESTINATION=[^\r\n]*" "DESTINATION=${store}" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${DST}/Settings/Settings.ini "${text}")
endif()
