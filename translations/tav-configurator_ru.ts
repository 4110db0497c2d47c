<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- Qt's own texts that the command line prints with its help and its usage
     errors, in Russian, so that a run speaks one language even where the
     system has no Qt translations. Written by hand: lupdate does not own
     this file. -->
<TS version="2.1" language="ru_RU">
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Usage: %1</source>
        <translation>Использование: %1</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Параметры:</translation>
    </message>
    <message>
        <source>Arguments:</source>
        <translation>Аргументы:</translation>
    </message>
    <message>
        <source>[options]</source>
        <translation>[параметры]</translation>
    </message>
    <message>
        <source>Displays help on commandline options.</source>
        <translation>Показать справку по параметрам командной строки.</translation>
    </message>
    <message>
        <source>Displays help including Qt specific options.</source>
        <translation>Показать справку, включая параметры Qt.</translation>
    </message>
    <message>
        <source>Displays version information.</source>
        <translation>Показать версию программы.</translation>
    </message>
    <message>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>Неизвестный параметр «%1».</translation>
    </message>
    <message>
        <source>Unknown options: %1.</source>
        <translation>Неизвестные параметры: %1.</translation>
    </message>
    <message>
        <source>Missing value after &apos;%1&apos;.</source>
        <translation>Нет значения после «%1».</translation>
    </message>
    <message>
        <source>Unexpected value after &apos;%1&apos;.</source>
        <translation>Лишнее значение после «%1».</translation>
    </message>
</context>
</TS>
