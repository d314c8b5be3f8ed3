# Writes the manual page of the command line from the program's own --help, so the two never differ.
# Call: cmake -DEXE=path/to/vestral-sms -DVERSION=x.y.z.w -DOUT=vestral-sms.1 -P ManPage.cmake
execute_process(COMMAND "${EXE}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${EXE} --help failed (${rc})")
endif()

function(roff_escape text out)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(commands "")
# One list element per line; the texts' own semicolons are kept aside meanwhile.
string(REPLACE ";" "@SEMICOLON@" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
foreach(line IN LISTS lines)
    if(line MATCHES "^  (--[a-z-]+) +(.*)$")
        roff_escape("${CMAKE_MATCH_1}" name)
        string(REPLACE "@SEMICOLON@" ";" text "${CMAKE_MATCH_2}")
        roff_escape("${text}" text)
        string(APPEND commands ".TP\n.B ${name}\n${text}\n")
    endif()
endforeach()
if(commands STREQUAL "")
    message(FATAL_ERROR "no command found in the output of ${EXE} --help")
endif()

file(WRITE "${OUT}" ".\\\" Generated from vestral-sms --help at build time.
.TH VESTRAL\\-SMS 1 \"\" \"VESTRAL SMS ${VERSION}\" \"Comandos do usuário\"
.SH NOME
vestral\\-sms \\- envio de SMS por modems GSM e de e\\-mail em massa
.SH SINOPSE
.B vestral\\-sms
[\\fB\\-\\-data\\-dir\\fR \\fIPASTA\\fR] [\\fICOMANDO\\fR]
.SH DESCRIÇÃO
Sem comando, abre a janela do VESTRAL SMS. Os comandos rodam o mesmo motor sem janela e mostram os
mesmos textos na saída padrão, para uso em scripts e no cron.
.SH OPÇÕES
.TP
.BI \\-\\-data\\-dir \" PASTA\"
a pasta de dados (banco BDSMS.db, manual e portas/). Sem ela, a pasta do executável quando ele roda
de uma pasta de compilação; um programa instalado usa
.IR $XDG_DATA_HOME/vestral\\-sms
(normalmente
.IR ~/.local/share/vestral\\-sms ).
.SH COMANDOS
${commands}.SH CÓDIGO DE SAÍDA
0 quando o comando terminou; 1 com o texto do erro; 2 para um erro de uso (1 em \\-\\-build\\-outbox e
\\-\\-demo\\-ports) ou, nos comandos que abrem as portas, quando nenhuma porta está pronta.
.SH ARQUIVOS
.TP
.I ~/.local/share/vestral\\-sms/BDSMS.db
o banco de dados (modo 0600: guarda a senha SMTP).
.TP
.I ~/.local/share/vestral\\-sms/portas/COMn
ligações para os dispositivos seriais dos modems; sem ela, COM n abre /dev/ttyUSB(n\\-1).
")
