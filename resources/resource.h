// Identifiers shared by the program and its resource module reseng.dll.
// The numbers are the contract between the two: never renumber one.
#pragma once

// Dialogs
#define IDD_ABOUT                       301
#define IDD_MIDI_SETUP                  302
#define IDD_MAIN                        303
#define IDD_BULK_RECEIVE                305
#define IDD_BULK_SEND                   306
#define IDD_SELECTOR                    334

// Icon
#define IDI_MAIN                        128

// Commands that are not controls
#define IDM_ABOUTBOX                    16      // system menu; 16..31 open the about box
#define ID_HELP                         57670   // the framework's Help command

// Main window (dialog 303); each spin is paired with the edit one below it
#define IDC_RECEIVE_PROGRAM             1005
#define IDC_BROWSE_RECEIVE_PROGRAM      1006
#define IDC_RECEIVE_PROGRAM_FILE        1007
#define IDC_RECEIVE_PROGRAM_NUMBER      1008
#define IDC_RECEIVE_PROGRAM_SPIN        1009
#define IDC_RECEIVE_ALGORITHM           1010
#define IDC_BROWSE_RECEIVE_ALGORITHM    1011
#define IDC_RECEIVE_ALGORITHM_FILE      1012
#define IDC_RECEIVE_ALGORITHM_NUMBER    1013
#define IDC_RECEIVE_ALGORITHM_SPIN      1014
#define IDC_RECEIVE_BULK                1015
#define IDC_BROWSE_RECEIVE_BULK         1016
#define IDC_RECEIVE_BULK_FILE           1017
#define IDC_SEND_PROGRAM                1018
#define IDC_BROWSE_SEND_PROGRAM         1019
#define IDC_SEND_PROGRAM_FILE           1020
#define IDC_SEND_PROGRAM_SLOT           1021
#define IDC_SEND_PROGRAM_SPIN           1022
#define IDC_SEND_ALGORITHM              1023
#define IDC_BROWSE_SEND_ALGORITHM       1024
#define IDC_SEND_ALGORITHM_FILE         1025
#define IDC_SEND_ALGORITHM_NUMBER       1026
#define IDC_SEND_ALGORITHM_SPIN         1027
#define IDC_SEND_BULK                   1028
#define IDC_BROWSE_SEND_BULK            1029
#define IDC_SEND_BULK_FILE              1030
#define IDC_COMMAND21                   1031
#define IDC_MIDI_SETUP                  1032
#define IDC_PROGRAM_CHANGE_NUMBER       1033
#define IDC_PROGRAM_CHANGE_SPIN         1034
#define IDC_PROGRAM_CHANGE              1035
#define IDC_COMMAND22                   1036

// Selector (dialog 334): first of three radio buttons in one group
#define IDC_SELECTOR_FIRST              1037

// MIDI setup (dialog 302)
#define IDC_INPUT_PORT                  1000
#define IDC_OUTPUT_PORT                 1001
#define IDC_DEVICE_NUMBER               1002
#define IDC_DEVICE_NUMBER_SPIN          1004
#define IDC_PAUSE                       1054    // pause after each message of a bulk send (ms)
#define IDC_PAUSE_SPIN                  1055

// About box (dialog 301)
#define IDC_TOTAL_PHYSICAL              1040
#define IDC_FREE_DISK                   1041
#define IDC_AVAIL_PHYSICAL              1042
#define IDC_TOTAL_VIRTUAL               1043
#define IDC_AVAIL_VIRTUAL               1044
#define IDC_OS_VERSION                  1046

// Bulk receive (305) and bulk send (306)
#define IDC_RECEIVED_COUNT              1045
#define IDC_SENT_COUNT                  1047
#define IDC_FILE_SIZE                   1048
#define IDC_SEND_SUMMARY                1049    // what the file holds
#define IDC_SEND_WARNING                1050    // what in it is not a complete SysEx message
#define IDC_SEND_PROGRESS               1051    // progress bar
#define IDC_SEND_TIME_LEFT              1052    // percent sent and time left
#define IDC_RECEIVE_RATE                1053    // time elapsed and rate

// Strings
#define IDS_ABOUTBOX                    101
#define IDS_CONFIRM_COMMAND21           102
#define IDS_RECEIVE_FILE_TITLE          103
#define IDS_SEND_FILE_TITLE             104
#define IDS_CONFIRM_COMMAND22_FIRST     105
#define IDS_CONFIRM_COMMAND22_SECOND    106
#define IDS_CONFIRM_COMMAND22_THIRD     107
#define IDS_MEMORY_FORMAT               110     // printf: KB as a grouped number text
#define IDS_DISK_FREE_FORMAT            111     // printf: KB as a grouped number text, then the drive letter
#define IDS_DISK_FREE_UNKNOWN           112
#define IDS_OS_VERSION_UNKNOWN          113
#define IDS_OS_VERSION_FORMAT           114     // printf: text, then three unsigned numbers
#define IDS_DISK_FREE_NO_LETTER_FORMAT  115     // printf: KB as a grouped number text (volume without a letter)
#define IDS_OUTPUT_OPEN_FAILED          120
#define IDS_INPUT_OPEN_FAILED           121
#define IDS_NO_INPUT_PORTS              122
#define IDS_NO_OUTPUT_PORTS             123
#define IDS_NO_INPUT_LISTED             124
#define IDS_NO_OUTPUT_LISTED            125
#define IDS_OUTPUT_PREPARE_FAILED       126
#define IDS_INPUT_PREPARE_FAILED        127
#define IDS_INPUT_START_FAILED          128
#define IDS_INPUT_ADD_FAILED            129
#define IDS_OUTPUT_UNPREPARE_FAILED     130
#define IDS_INPUT_UNPREPARE_FAILED      131
#define IDS_NOTHING_RECEIVED            132
#define IDS_DEVICE_ERROR_UNKNOWN        150
#define IDS_NO_RECEIVE_FILE             152
#define IDS_NO_SEND_FILE                153
#define IDS_FILE_OPEN_FAILED            154     // assembled: text + name as typed + "!"
#define IDS_FILE_WRITE_FAILED           155     // assembled: text + name without folder + "!"
#define IDS_OUT_OF_MEMORY               156
#define IDS_FILE_READ_FAILED            157     // assembled: text + name without folder + "!"
#define IDS_CONFIRM_OVERWRITE           158
#define IDS_NO_REPLY                    159
#define IDS_DUMP_STORED                 160     // %1: file name without folder
#define IDS_DUMP_FILE_TOO_LARGE         161     // assembled: text + name without folder + "!"
#define IDS_FILE_EMPTY                  162     // assembled: text + name without folder + "!"
#define IDS_SEND_REFUSED                163     // %1: the driver's error number
#define IDS_STILL_SENDING               164
#define IDS_SAVE_ELSEWHERE_TITLE        165
#define IDS_CONFIRM_DISCARD             166     // %1: the number of bytes received
// A program or algorithm file that is not one dump: %1 its name, %2 the messages it holds,
// %3 the status byte found (hex), %4 that byte's offset
#define IDS_DUMP_IS_MIDI_FILE           167
#define IDS_DUMP_HOLDS_MESSAGES         168
#define IDS_DUMP_TOO_SHORT              169
#define IDS_DUMP_NO_END                 177
#define IDS_DUMP_STATUS_BYTE            178
#define IDS_CONFIRM_OTHER_MAKER         179     // %1: the file's name
#define IDS_TIP_PAUSE                   180
#define IDS_TIP_PAUSE_SPIN              181
#define IDS_BULK_SUMMARY                182     // %1: complete SysEx messages
#define IDS_BULK_SUMMARY_MIDI           183     // %1: SysEx messages of a MIDI file
#define IDS_SEND_PROGRESS               185     // %1: percent sent, %2: time left
#define IDS_SEND_PROGRESS_NO_ESTIMATE   186     // %1: percent sent
#define IDS_SECONDS                     187     // %1: seconds
#define IDS_MINUTES_SECONDS             188     // %1: minutes, %2: seconds
#define IDS_RECEIVE_RATE                189     // %1: bytes a second while data came, %2: time since the last
#define IDS_MIDI_FILE_DAMAGED           190     // %1: the file's name, %2: what is wrong with it
#define IDS_MIDI_FILE_REASON_BASE       2900    // + the reader's error number: what is wrong
#define IDS_TIP_OK                      170
#define IDS_TIP_CANCEL                  171
#define IDS_TIP_DEVICE_NUMBER           172
#define IDS_TIP_DEVICE_NUMBER_SPIN      173
#define IDS_TIP_INPUT_PORT              174
#define IDS_TIP_OUTPUT_PORT             175
#define IDS_UNLISTED_PORT_FORMAT        176     // printf: the port number (its name cannot be read)
#define IDS_DEVICE_ERROR_BASE           200     // + 10 x first code + second code

// The wire clock, the bulk send's wording and long messages (3000 to 3019)
#define IDS_BULK_SUMMARY_ONE            3000
#define IDS_BULK_SUMMARY_MIDI_ONE       3001
#define IDS_BULK_WARNING_PREFIX         3002    // %1: the warnings, one sentence each
#define IDS_BULK_OUTSIDE_BYTES          3003    // %1: bytes outside messages (2 or more)
#define IDS_BULK_OUTSIDE_BYTE           3004
#define IDS_BULK_UNENDED                3005    // %1: messages without F7 (2 or more)
#define IDS_BULK_UNENDED_ONE            3006
#define IDS_LONG_MESSAGE                3007    // %1: the longest message's length
#define IDS_CONFIRM_LONG_MESSAGE        3008    // %1: the text of IDS_LONG_MESSAGE
#define IDS_SEND_OVERDUE                3009
#define IDS_BULK_SEND_STOPPED           3010    // %1: bytes that went out, %2: the file's bytes

// What a bulk send got out whole (3300 to 3399)
#define IDS_BULK_RESULT_ALL             3300    // %1: messages (2 or more)
#define IDS_BULK_RESULT_ALL_ONE         3301
#define IDS_BULK_RESULT_PART            3302    // %1: whole, %2: messages, %3 to %4: positions that were not
#define IDS_BULK_RESULT_PART_LAST       3303    // %1: whole, %2: messages, %3: the position that was not
#define IDS_BULK_RESULT_LONG            3304    // %1: positions of the long messages sent under Wine

// Ports kept between runs, ports in use, MIDI files without SysEx
#define IDS_INPUT_PORT_MISSING          3060    // %1: the kept port (IDS_PORT_NAME...)
#define IDS_OUTPUT_PORT_MISSING         3061    // %1: the kept port (IDS_PORT_NAME...)
#define IDS_PORT_USED_INSTEAD           3062    // %1: the port used instead (IDS_PORT_NAME...)
#define IDS_PORT_NAME                   3063    // %1: the port's name
#define IDS_PORT_NAME_OCCURRENCE        3064    // %1: the port's name, %2: which of that name (2, 3...)
#define IDS_OUTPUT_IN_USE               3065
#define IDS_INPUT_IN_USE                3066
#define IDS_MIDI_FILE_NO_SYSEX          3067    // %1: the file's name

// Framework prompts, looked up in the module under the framework's own numbers
#define AFX_IDP_PARSE_INT               61712
#define AFX_IDP_PARSE_INT_RANGE         61714   // %1 lower bound, %2 upper bound
#define AFX_IDP_PARSE_STRING_SIZE       61716   // %1 maximum length

// Bank window (dialog 307), its slot prompt (308), and what it adds to the main window and
// the bulk receive
#define IDD_BANK                        307
#define IDD_BANK_SLOT                   308
#define IDC_BANK_SUMMARY                1100    // what the file holds
#define IDC_BANK_LIST                   1101    // one row per message
#define IDC_BANK_SEND_TO_SLOT           1102
#define IDC_BANK_SEND                   1103
#define IDC_BANK_SAVE_AS                1104
#define IDC_BANK_COMPARE                1105
#define IDC_BANK_SLOT                   1106    // slot prompt: the slot, 1 to 100
#define IDC_BANK_SLOT_SPIN              1107
#define IDC_BANK                        1108    // main window: opens the bank window
#define IDC_COMPARE_AFTER_SEND          1109    // main window: compare a sent program
#define IDC_RECEIVED_MESSAGES           1110    // bulk receive: the messages counted so far
#define IDS_BANK_TITLE                  3100    // %1: the file's name
#define IDS_BANK_SUMMARY                3101    // %1 messages, %2 programs, %3 algorithms
#define IDS_BANK_PROBLEM                3102    // %1 bytes outside messages, %2 messages without F7
#define IDS_BANK_COLUMN_BASE            3103    // + column: #, message, device, size, first bytes
#define IDS_BANK_KIND_BASE              3110    // + BankMessageKind; %1: number, or command (hex)
#define IDS_BANK_ROW_NAME               3120    // %1: the row's position, %2: the file's name
#define IDS_BANK_SAVE_TITLE             3121
#define IDS_COMPARE_SAME                3122    // %1: what was compared
#define IDS_COMPARE_DIFFERS             3123    // %1: what, %2: offset, %3: the file's byte, %4: the device's (hex)
#define IDS_COMPARE_LENGTH              3124    // %1: what, %2: the file's length, %3: the device's
#define IDS_RECEIVED_MESSAGES           3125    // %1 complete messages, %2 programs, %3 algorithms
#define IDS_CONFIRM_STORE_INCOMPLETE    3126
#define IDS_SLOT_NAME                   3127    // %1: the slot a program was sent to

// The text a dump holds: the bank window's Text column and Find box, and the names of dumps
#define IDC_BANK_FIND_LABEL             1150
#define IDC_BANK_FIND                   1151    // shows the rows whose text or kind holds what is typed
#define IDS_BANK_TEXT_COLUMN            3400
#define IDS_BANK_SHOWN                  3401    // %1: the rows Find shows
#define IDS_DUMP_WITH_TEXT              3402    // %1: what the dump is, %2: the text it holds
#define IDS_STATUS_ANSWERED_TEXT        3403    // %1: bytes received, %2: the text the reply holds

// Saving a received dump safely, and the bulk receive's figures
#define IDS_TARGET_READ_ONLY            3040    // %1: the target as typed
#define IDS_FOLDER_REFUSES_FILES        3041    // %1: the target's folder
#define IDS_NAME_NOT_KEPT               3042    // %1: the file's name without folder
#define IDS_RECEIVE_LAST_DATA           3043    // %1: time since the last data (one block, no rate yet)

// Main window: status line, other-kind refusals, the send-algorithm number's tip
#define IDC_STATUS                      1060    // what was just sent, or how long the device is awaited
#define IDS_DUMP_IS_ALGORITHM           3020    // %1: the file's name (sent as a program)
#define IDS_DUMP_IS_PROGRAM             3021    // %1: the file's name (sent as an algorithm)
#define IDS_TIP_SEND_ALGORITHM_NUMBER   3022
#define IDS_STATUS_SENT_PROGRAM         3023    // %1: slot, %2: bytes
#define IDS_STATUS_SENT_ALGORITHM       3024    // %1: the file's algorithm number, %2: bytes
#define IDS_STATUS_SENT_PROGRAM_CHANGE  3025    // %1: program change number, %2: MIDI channel
#define IDS_STATUS_SENT_COMMAND21       3026    // %1: bytes
#define IDS_STATUS_SENT_COMMAND22       3027    // %1: option (1 to 3), %2: bytes
#define IDS_STATUS_WAITING              3028    // %1: seconds waited
#define IDS_STATUS_ANSWERED             3029    // %1: bytes received

// Chosen ports that are not connected when they are needed (%1: the port, IDS_PORT_NAME...)
#define IDS_OUTPUT_PORT_NOT_CONNECTED   3260
#define IDS_INPUT_PORT_NOT_CONNECTED    3261
#define IDS_PORT_NOT_CONNECTED_ENTRY    3262    // MIDI Setup's entry for it
#define IDS_STATUS_OUTPUT_NOT_CONNECTED 3263
#define IDS_STATUS_INPUT_NOT_CONNECTED  3264

// MIDI log (dialog 330): every message sent and received, opened from the system menu
#define IDD_MIDI_LOG                    330
#define IDM_MIDI_LOG                    1168    // system menu command (a multiple of 16)
#define IDC_LOG_SUMMARY                 1160    // how many rows, and how many were dropped
#define IDC_LOG_LIST                    1161    // one row per message or port event
#define IDC_LOG_COPY                    1162
#define IDC_LOG_SAVE                    1163    // the selected rows as text
#define IDC_LOG_SAVE_SYX                1164    // the selected received messages as a .syx file
#define IDS_LOG_MENU                    3420
#define IDS_LOG_SUMMARY                 3421    // %1 rows, %2 the most kept
#define IDS_LOG_DROPPED                 3422    // %1 rows, %2 older rows dropped, %3 the most kept
#define IDS_LOG_COLUMN_BASE             3423    // + column: time, direction, port, message, size, first bytes
#define IDS_LOG_OUT                     3430
#define IDS_LOG_IN                      3431
#define IDS_LOG_EVENT_BASE              3432    // + MidiLogEvent, from the short message on
#define IDS_LOG_PROGRAM_CHANGE          3441    // %1: the program change number
#define IDS_LOG_ERROR_REPLY             3442    // %1: the device's error codes
#define IDS_LOG_SAVE_TITLE              3443
#define IDS_LOG_SAVE_SYX_TITLE          3444
#define IDS_LOG_NOTHING_RECEIVED        3445
#define IDS_LOG_SYX_LEFT_OUT            3446    // %1: messages longer than the log keeps
#define IDS_LOG_TEXT_FILTER             3447

// The bank window's own words when a file gives it nothing to show, and the bulk send of its rows
#define IDS_BANK_FILE_EMPTY             3240    // followed by the file's name and "!"
#define IDS_BANK_MIDI_FILE_DAMAGED      3241    // %1: the file's name, %2: the reason
#define IDS_BANK_MIDI_FILE_NO_SYSEX     3242    // %1: the file's name
#define IDS_BULK_SUMMARY_SELECTION      3243    // %1: complete SysEx messages among the selected rows
#define IDS_BULK_SUMMARY_SELECTION_ONE  3244

// File names the file system cannot take
#define IDS_NAME_TOO_LONG               3200    // %1: the file's name without folder, %2: the longest name allowed

// What the device gets: a message left out of a bulk send under Wine
#define IDS_BULK_LEFT_OUT               3220    // %1: the message's position, from 1

// The history of every dump: its window (dialog 335), the main window's button, MIDI Setup's fields
#define IDD_HISTORY                     335
#define IDC_HISTORY                     1180    // main window: opens the history window
#define IDC_HISTORY_LIST                1181    // one row per entry, newest first
#define IDC_HISTORY_OPEN                1182
#define IDC_HISTORY_SAVE_AS             1183
#define IDC_HISTORY_DELETE              1184
#define IDC_HISTORY_STATUS              1185    // the entries, and what went wrong or was removed
#define IDC_HISTORY_FOLDER              1186    // MIDI Setup: the history's folder
#define IDC_HISTORY_BROWSE              1187
#define IDC_HISTORY_LIMIT               1188    // MIDI Setup: the history's size in MB
#define IDS_HISTORY_WRITE_FAILED        3460    // %1: the folder
#define IDS_HISTORY_INDEX_REBUILT       3461
#define IDS_HISTORY_FILES_MISSING       3462    // %1: how many, %2: the first file's name
#define IDS_HISTORY_OLD_REMOVED         3463    // %1: how many, %2: the limit in MB
#define IDS_HISTORY_KIND_BASE           3464    // + HistoryKind; %1: the number
#define IDS_HISTORY_RECEIVED            3467
#define IDS_HISTORY_BEFORE_SLOT         3468    // %1: the slot that was overwritten
#define IDS_HISTORY_COLUMN_BASE         3469    // + column: when, what, from, size, text
#define IDS_HISTORY_SUMMARY             3474    // %1 entries, %2 bytes, %3: the folder
#define IDS_HISTORY_CONFIRM_DELETE      3475    // %1: what the entry is
#define IDS_HISTORY_SAVE_TITLE          3476
#define IDS_HISTORY_FOLDER_TITLE        3477
#define IDS_HISTORY_DELETE_FAILED       3478    // followed by the file's name and "!"

// A backup of what a send overwrites, Undo last send, and the history window's Restore and Compare
#define IDC_HISTORY_BACKUP              1220    // MIDI Setup: back up before a send overwrites
#define IDC_HISTORY_RESTORE             1221
#define IDC_HISTORY_COMPARE             1222
#define IDM_UNDO_SEND                   1232    // system menu command (a multiple of 16)
#define IDS_BACKUP_FAILED               3540    // %1: the slot or algorithm, %2: why, one sentence
#define IDS_BACKUP_NOT_A_DUMP           3541
#define IDS_UNDO_MENU                   3542
#define IDS_ALGORITHM_NAME              3543    // %1: the algorithm's number

// A backup of the device's memory before a bulk send overwrites it
#define IDC_BACK_UP_FIRST               1240    // bulk send: receive the device's memory into the history first
#define IDC_RECEIVE_INTRO               1241    // bulk receive: what the dialog is doing
#define IDS_BACKUP_CAPTION              3580
#define IDS_BACKUP_INTRO                3581
#define IDS_CONFIRM_SEND_WITHOUT_BACKUP 3582
#define IDS_HISTORY_BEFORE_RESTORE      3583

// Finding the device: its window (dialog 340), opened from MIDI Setup's button
#define IDD_FIND_DEVICE                 340
#define IDC_FIND_DEVICE                 1200    // MIDI Setup: opens the find window
#define IDC_FIND_STATUS                 1201    // what is being asked, what answered, what was skipped
#define IDC_FIND_PROGRESS               1202    // the output ports asked so far
#define IDC_FIND_LIST                   1203    // one row per answer: device number, output, input
#define IDS_FIND_ASKING                 3500    // %1: the output port, %2: which of %3 ports
#define IDS_FIND_FOUND                  3501    // %1: how many answers
#define IDS_FIND_NONE                   3502
#define IDS_FIND_SKIPPED                3503    // %1: the ports, separated by commas
#define IDS_FIND_COLUMN_BASE            3504    // + column: device number, output, input
#define IDS_FIND_NO_INPUT               3507
#define IDS_TIP_FIND_DEVICE             3508
#define IDS_FIND_CLOSE                  3509    // the Cancel button once the search has ended
