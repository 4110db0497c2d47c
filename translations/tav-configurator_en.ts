<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AddedPorts</name>
    <message>
        <source>Добавить порт по имени…</source>
        <translation>Add a port by name…</translation>
    </message>
    <message>
        <source>Забыть порт %1</source>
        <translation>Forget port %1</translation>
    </message>
    <message>
        <source>Добавить порт</source>
        <translation>Add a port</translation>
    </message>
    <message>
        <source>Модуль за шлюзом: socket://АДРЕС:ПОРТ (TCP) или rfc2217://АДРЕС:ПОРТ (RFC 2217).
Или последовательный порт: %1</source>
        <translation>A module behind a gateway: socket://HOST:PORT (TCP) or rfc2217://HOST:PORT (RFC 2217).
Or a serial port: %1</translation>
    </message>
    <message>
        <source>Запомнено уже %1 портов. Забудьте ненужный: правая кнопка на списке портов, «Забыть порт».</source>
        <translation>%1 ports are remembered already. Forget one you no longer need: right-click the port list, “Forget port”.</translation>
    </message>
    <message>
        <source>Имя порта длиннее %1 знаков: таких портов не бывает.</source>
        <translation>The port name is longer than %1 characters: no port has such a name.</translation>
    </message>
</context>
<context>
    <name>Cli</name>
    <message>
        <source>Справка: tav-configurator-cli --help</source>
        <translation>Try &apos;tav-configurator-cli --help&apos;.</translation>
    </message>
    <message>
        <source>--%1 %2: такого значения модуль не принимает; можно: %3</source>
        <translation>--%1 %2 is not a value the module takes; allowed: %3</translation>
    </message>
    <message>
        <source>ports, read или write</source>
        <translation>ports, read or write</translation>
    </message>
    <message>
        <source>Скорость для записи.</source>
        <translation>Baud rate to write.</translation>
    </message>
    <message>
        <source>Стоп-биты для записи.</source>
        <translation>Stop bits to write.</translation>
    </message>
    <message>
        <source>Не читать значения обратно после записи.</source>
        <translation>Do not read the values back after writing.</translation>
    </message>
    <message>
        <source>Записать (и проверить), но не переводить модуль в режим работы.</source>
        <translation>Write (and verify) but do not switch the module into operating mode.</translation>
    </message>
    <message>
        <source>Без PORT: ждать новый подключённый адаптер, как поиск в окне. С PORT: ждать, когда появится этот порт.</source>
        <translation>Without PORT: wait for a newly plugged adapter, as the window&apos;s search does. With PORT: wait for that port to appear.</translation>
    </message>
    <message>
        <source>С --wait: после каждого модуля ждать, пока его адаптер отключат, затем следующий; Ctrl+C завершает с итогом.</source>
        <translation>With --wait: after each module wait for its adapter to be unplugged, then for the next; Ctrl+C ends with a summary.</translation>
    </message>
    <message>
        <source>не задана команда (ports, read или write)</source>
        <translation>no command given (ports, read or write)</translation>
    </message>
    <message>
        <source>ports не принимает порт</source>
        <translation>ports takes no port</translation>
    </message>
    <message>
        <source>неизвестная команда: %1</source>
        <translation>unknown command: %1</translation>
    </message>
    <message>
        <source>PORT пуст</source>
        <translation>PORT is empty</translation>
    </message>
    <message>
        <source>--wait и --repeat работают только с последовательными портами; %1 - сетевой порт</source>
        <translation>--wait and --repeat work with serial ports only; %1 is a network port</translation>
    </message>
    <message>
        <source>задайте PORT, --wait или оба</source>
        <translation>give a PORT, --wait, or both</translation>
    </message>
    <message>
        <source>--repeat нужен --wait</source>
        <translation>--repeat needs --wait</translation>
    </message>
    <message>
        <source>--wait-timeout: нужно число секунд больше 0</source>
        <translation>--wait-timeout needs a number of seconds above 0</translation>
    </message>
    <message>
        <source>--%1 относится к write</source>
        <translation>--%1 belongs to write</translation>
    </message>
    <message>
        <source>Паритет для записи: none, odd или even.</source>
        <translation>Parity to write: none, odd or even.</translation>
    </message>
    <message>
        <source>Перестать ждать через N секунд (по умолчанию %1; с --repeat - без предела).</source>
        <translation>Give up waiting after N seconds (default %1; with --repeat, no limit).</translation>
    </message>
    <message>
        <source>Читает и настраивает модули TAV-RS485-KT.

Команды:
  ports                 последовательные порты системы и что она о них знает
  read PORT             прочитать скорость, стоп-биты и паритет модуля
  write PORT --baud B --stop-bits S --parity P
                        записать три значения, прочитать их обратно и
                        перевести модуль в режим работы
  Вместо PORT --wait ждёт новый подключённый адаптер; с --repeat - модуль
  за модулем, пока не нажато Ctrl+C. --wait PORT ждёт, когда появится
  именно этот порт (постоянное гнездо адаптера, %2);
  с --repeat - когда он исчезнет и появится снова.

PORT - последовательный порт (%1) или
модуль за сервером последовательных портов: socket://HOST:PORT (TCP) или
rfc2217://HOST:PORT (RFC 2217: линию 9600 8N1 задаёт конфигуратор).
Адрес IPv6 - в квадратных скобках: rfc2217://[fd00::7]:4001.

--record FILE.csv дописывает по строке на модуль (CSV, заголовок один раз;
вид задаёт --record-format); --json печатает по объекту JSON на модуль. Их поля описаны в
README, раздел «Commissioning bench».

Коды завершения:
  0    готово
  2    ошибка в командной строке
  3    порт не открывается (или шлюз недоступен)
  4    нет ответа вовремя (или адаптер не подключён за --wait-timeout),
       или связь потеряна
  5    модуль отверг значение
  6    ответ не понят, или прочитанные обратно значения другие
  130  прервано (%3): текущая команда получает свой
       ответ, и больше ничего не отправляется; второй запрос перестаёт ждать
       этот ответ. Тот же сигнал ещё раз в пределах %6 мс - тот же запрос
       (так его передаёт, например, timeout). Результат печатается в любом
       случае, и код завершения - код результата.

Ответ, не пришедший за %4&#xa0;с, ещё ждётся до %5&#xa0;с после команды, а затем
считается отсутствующим (4).</source>
        <translation>Reads and commissions TAV-RS485-KT modules.

Commands:
  ports                 the system&apos;s serial ports and what it knows of each
  read PORT             read the module&apos;s baud rate, stop bits and parity
  write PORT --baud B --stop-bits S --parity P
                        write the three values, read them back, then switch
                        the module into operating mode
  Instead of PORT, --wait waits for a newly plugged adapter; with --repeat,
  one module after another until Ctrl+C. --wait PORT waits for that very
  port to appear (a fixed adapter slot, %2); with
  --repeat, for it to vanish and appear again.

PORT is a serial port (%1) or a module
behind a serial device server: socket://HOST:PORT (raw TCP) or
rfc2217://HOST:PORT (RFC 2217: the line is set to 9600 8N1 by the
configurator). IPv6 addresses go in brackets: rfc2217://[fd00::7]:4001.

--record FILE.csv appends a row per module (CSV, the header once; its form
is set by --record-format); --json prints a JSON object per module. Their
fields are listed in the README, section &quot;Commissioning bench&quot;.

Exit codes:
  0    done
  2    usage error
  3    the port cannot be opened (or the gateway cannot be reached)
  4    no reply in time (or no adapter plugged in within --wait-timeout),
       or the link was lost
  5    a value refused by the module
  6    a reply not understood, or the values read back differ
  130  interrupted (%3): the command under way gets
       its reply and nothing more is sent; a second request stops waiting
       for that reply. The same signal again within %6 ms is the same
       request (as timeout, for one, passes it on). The result is printed
       either way, and the exit code is the result&apos;s.

A reply that misses its %4&#xa0;s time-out is still awaited, up to %5&#xa0;s after its
command, and then counts as no reply (4).</translation>
    </message>
    <message>
        <source>--%1 (одно из: %2)</source>
        <translation>--%1 (one of: %2)</translation>
    </message>
    <message>
        <source>для write нужен %1</source>
        <translation>write needs %1</translation>
    </message>
    <message>
        <source>для write нужны: %1</source>
        <translation>write needs: %1</translation>
    </message>
    <message>
        <source>лишние аргументы: %1</source>
        <translation>extra arguments: %1</translation>
    </message>
    <message>
        <source>Объект JSON на модуль (время, порт, адаптер, ответ на -h, значения до, заданные, подтверждённые и после, исход); на терминале stderr итог каждого модуля ещё и словами.</source>
        <translation>One JSON object per module (time, port, adapter, the reply to -h, values before, requested, confirmed and after, outcome); a terminal on stderr is also told each module&apos;s result in words.</translation>
    </message>
</context>
<context>
    <name>Commissioner</name>
    <message>
        <source>Модулей готово: %1, с ошибкой: %2</source>
        <translation>Modules done: %1, failed: %2</translation>
    </message>
    <message>
        <source>Отключите адаптер %1 и подключите следующий</source>
        <translation>Unplug the adapter %1 and plug in the next one</translation>
    </message>
    <message>
        <source>: готово: %1 (было: %2)</source>
        <translation>: done: %1 (was: %2)</translation>
    </message>
    <message>
        <source>; режим работы не включён (--no-run)</source>
        <translation>; operating mode not switched on (--no-run)</translation>
    </message>
    <message>
        <source>: ошибка %1: %2</source>
        <translation>: error %1: %2</translation>
    </message>
    <message>
        <source>Найден порт %1</source>
        <translation>Found port %1</translation>
    </message>
    <message>
        <source>%1: шаг %2 из %3: %4</source>
        <translation>%1: step %2 of %3: %4</translation>
    </message>
    <message>
        <source>, ответ ждём %1&#xa0;с</source>
        <translation>, awaiting the reply %1&#xa0;s</translation>
    </message>
    <message>
        <source>, ответ получен</source>
        <translation>, reply received</translation>
    </message>
    <message>
        <source>Остановка после ответа модуля на «%1» (Ctrl+C ещё раз — не ждать ответа)</source>
        <translation>Stopping after the module&apos;s reply to &quot;%1&quot; (Ctrl+C again to give up the reply)</translation>
    </message>
    <message>
        <source>Порт %1 не появился за %2&#xa0;с</source>
        <translation>Port %1 did not appear within %2&#xa0;s</translation>
    </message>
    <message>
        <source>Новый адаптер не подключён за %1&#xa0;с</source>
        <translation>No new adapter plugged in within %1&#xa0;s</translation>
    </message>
    <message>
        <source> (до %1&#xa0;с)</source>
        <translation> (up to %1&#xa0;s)</translation>
    </message>
    <message>
        <source> (Ctrl+C - закончить)</source>
        <translation> (Ctrl+C to finish)</translation>
    </message>
    <message>
        <source>Ожидание следующего модуля на порту %1</source>
        <translation>Waiting for the next module on port %1</translation>
    </message>
    <message>
        <source>Ожидание порта %1</source>
        <translation>Waiting for port %1</translation>
    </message>
    <message>
        <source>Ожидание нового адаптера</source>
        <translation>Waiting for a new adapter</translation>
    </message>
    <message>
        <source>, не начато: %1</source>
        <translation>, not started: %1</translation>
    </message>
    <message>
        <source>запустите команду снова</source>
        <translation>run the command again</translation>
    </message>
    <message>
        <source>найдите его порт командой «tav-configurator-cli ports»</source>
        <translation>find its port with &quot;tav-configurator-cli ports&quot;</translation>
    </message>
    <message>
        <source>укажите порт в команде</source>
        <translation>name the port in the command</translation>
    </message>
    <message>
        <source>прервите команду (Ctrl+C)</source>
        <translation>interrupt the command (Ctrl+C)</translation>
    </message>
</context>
<context>
    <name>Console</name>
    <message>
        <source>Ctrl+C, SIGTERM или SIGHUP</source>
        <translation>Ctrl+C, SIGTERM or SIGHUP</translation>
    </message>
    <message>
        <source>Ctrl+C, Ctrl+Break или закрытие окна консоли</source>
        <translation>Ctrl+C, Ctrl+Break or closing the console window</translation>
    </message>
</context>
<context>
    <name>EngineWords</name>
    <message>
        <source>Порт %1 открыт</source>
        <translation>Port %1 open</translation>
    </message>
    <message>
        <source>Соединение с %1…</source>
        <translation>Connecting to %1…</translation>
    </message>
    <message>
        <source>Отключено от порта %1</source>
        <translation>Disconnected from port %1</translation>
    </message>
    <message>
        <source>Идёт чтение: дождитесь его окончания</source>
        <translation>Reading: wait until it is finished</translation>
    </message>
    <message>
        <source>Идёт запись: дождитесь её окончания</source>
        <translation>Writing: wait until it is finished</translation>
    </message>
    <message>
        <source>Не все значения выбраны: считайте модуль или выберите значения</source>
        <translation>Not every value is chosen: read the module or choose the values</translation>
    </message>
    <message>
        <source>Запись начата</source>
        <translation>Write started</translation>
    </message>
    <message>
        <source>Чтение начато</source>
        <translation>Read started</translation>
    </message>
    <message>
        <source>Передано :</source>
        <translation>Sent: </translation>
    </message>
    <message>
        <source>Получено :</source>
        <translation>Received: </translation>
    </message>
    <message>
        <source>Чтение завершено: %1</source>
        <translation>Read finished: %1</translation>
    </message>
    <message>
        <source>Считано после записи: %1, а записано: %2. Модуль не переведен в режим работы.</source>
        <translation>Read back after writing: %1, but written: %2. The module was not switched to operating mode.</translation>
    </message>
    <message>
        <source>Модуль ответил «Ok» на «%1» вместо «module is working»: неизвестно, перешёл ли он в режим работы. Проверьте модуль и запишите настройки снова.</source>
        <translation>The module answered &quot;Ok&quot; to &quot;%1&quot; instead of &quot;module is working&quot;: whether it is in operating mode is unknown. Check the module and write the settings again.</translation>
    </message>
    <message>
        <source>Модуль отклонил команду «%1»: он не переведен в режим работы.</source>
        <translation>The module refused the command &quot;%1&quot;: it was not switched to operating mode.</translation>
    </message>
    <message>
        <source>Модуль отклонил команду «%1». Запись остановлена, модуль не переведен в режим работы.</source>
        <translation>The module refused the command &quot;%1&quot;. The write stopped; the module was not switched to operating mode.</translation>
    </message>
    <message>
        <source>Модуль перешёл в режим работы в ответ на «%1», не подтвердив все значения: запись не завершена. Переведите модуль в режим настройки и запишите настройки снова.</source>
        <translation>The module switched to operating mode in answer to &quot;%1&quot; before confirming every value: the write is not finished. Put the module into configuration mode and write the settings again.</translation>
    </message>
    <message>
        <source>Ответ на команду «%1» не распознан: «%2». Запись остановлена, модуль не переведен в режим работы.</source>
        <translation>The reply to the command &quot;%1&quot; was not understood: &quot;%2&quot;. The write stopped; the module was not switched to operating mode.</translation>
    </message>
    <message>
        <source>Записано: %1. Модуль переведен в режим работы.</source>
        <translation>Written: %1. The module is in operating mode.</translation>
    </message>
    <message>
        <source>Записано: %1. Режим работы не включён.</source>
        <translation>Written: %1. Operating mode not switched on.</translation>
    </message>
    <message>
        <source>«%1» отправлена</source>
        <translation>&quot;%1&quot; was sent</translation>
    </message>
    <message>
        <source>«%1» не отправлена</source>
        <translation>&quot;%1&quot; was not sent</translation>
    </message>
    <message>
        <source> Модуль не подтвердил ни одного значения; %1.</source>
        <translation> The module confirmed no value; %1.</translation>
    </message>
    <message>
        <source> Модуль подтвердил: %1; %2.</source>
        <translation> The module confirmed: %1; %2.</translation>
    </message>
    <message>
        <source>Прервано отключением: ответ на «%1» не дождались.</source>
        <translation>Interrupted by disconnecting: the reply to &quot;%1&quot; was not waited for.</translation>
    </message>
    <message>
        <source>Прервано отключением после ответа на «%1».</source>
        <translation>Interrupted by disconnecting after the reply to &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Прервано: ответ на «%1» не дождались.</source>
        <translation>Interrupted: the reply to &quot;%1&quot; was not waited for.</translation>
    </message>
    <message>
        <source>Прервано после ответа на «%1»: больше ничего не отправлено.</source>
        <translation>Interrupted after the reply to &quot;%1&quot;: nothing more was sent.</translation>
    </message>
    <message>
        <source>Прервано до начала обмена: ничего не отправлено.</source>
        <translation>Interrupted before the exchange began: nothing was sent.</translation>
    </message>
    <message>
        <source>Остановка: после ответа на «%1» ничего больше не будет отправлено</source>
        <translation>Stopping: nothing more will be sent after the reply to &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source> Ответ всё ещё ожидается.</source>
        <translation> The reply is still awaited.</translation>
    </message>
    <message>
        <source> Ответ не пришёл и за %1&#xa0;с после команды: модуль пропущен.</source>
        <translation> No reply within %1&#xa0;s of the command either: the module is skipped.</translation>
    </message>
    <message>
        <source>Поиск начат</source>
        <translation>Search started</translation>
    </message>
    <message>
        <source>Ожидание, пока порт %1 исчезнет и появится снова</source>
        <translation>Waiting for port %1 to go and come back</translation>
    </message>
    <message>
        <source>Ожидание порта %1</source>
        <translation>Waiting for port %1</translation>
    </message>
    <message>
        <source>Поиск остановлен</source>
        <translation>Search stopped</translation>
    </message>
    <message>
        <source>Модуль не найден</source>
        <translation>Module not found</translation>
    </message>
    <message>
        <source>Модуль не найден. %1</source>
        <translation>Module not found. %1</translation>
    </message>
    <message>
        <source>Найден порт %1</source>
        <translation>Found port %1</translation>
    </message>
    <message>
        <source>Найден порт %1, ожидание доступа к нему</source>
        <translation>Found port %1, waiting for access to it</translation>
    </message>
    <message>
        <source>Файл блокировки %1 не учтён: это не обычный файл</source>
        <translation>Lock file %1 ignored: it is not a regular file</translation>
    </message>
    <message>
        <source>Файл блокировки %1 не учтён: процесса с номером %2 быть не может</source>
        <translation>Lock file %1 ignored: no process can have the number %2</translation>
    </message>
    <message>
        <source>Команда «%1» отправлена, но ответ на неё не распознан: «%2». Модуль, возможно, уже в режиме работы: проверьте, прочитав его.</source>
        <translation>The command &quot;%1&quot; was sent, but its reply was not understood: &quot;%2&quot;. The module may already be in operating mode: check by reading it.</translation>
    </message>
    <message>
        <source>скорость %1</source>
        <translation>baud rate %1</translation>
    </message>
    <message>
        <source>скорость не сообщена</source>
        <translation>baud rate not reported</translation>
    </message>
    <message>
        <source>скорость не подтверждена</source>
        <translation>baud rate not confirmed</translation>
    </message>
    <message>
        <source>стоп-биты %1</source>
        <translation>stop bits %1</translation>
    </message>
    <message>
        <source>стоп-биты не сообщены</source>
        <translation>stop bits not reported</translation>
    </message>
    <message>
        <source>стоп-биты не подтверждены</source>
        <translation>stop bits not confirmed</translation>
    </message>
    <message>
        <source>паритет %1</source>
        <translation>parity %1</translation>
    </message>
    <message>
        <source>паритет не сообщён</source>
        <translation>parity not reported</translation>
    </message>
    <message>
        <source>паритет не подтверждён</source>
        <translation>parity not confirmed</translation>
    </message>
    <message>
        <source>ни одно значение не сообщено</source>
        <translation>no value reported</translation>
    </message>
    <message>
        <source>ни одно значение не подтверждено</source>
        <translation>no value confirmed</translation>
    </message>
    <message>
        <source>это канал (FIFO), из которого никто не читает</source>
        <translation>it is a pipe (FIFO) that nobody reads</translation>
    </message>
    <message>
        <source> [ответ длиннее %1 байт: ещё %2 байт отброшено]</source>
        <translation> [reply longer than %1 bytes: %2 more bytes dropped]</translation>
    </message>
    <message>
        <source>серийный номер %1</source>
        <translation>serial number %1</translation>
    </message>
    <message>
        <source>USB %1</source>
        <translation>USB %1</translation>
    </message>
    <message>
        <source> (адаптер: %1)</source>
        <translation> (adapter: %1)</translation>
    </message>
    <message>
        <source>Нет соединения: %1</source>
        <translation>Not connected: %1</translation>
    </message>
    <message>
        <source>Модуль ещё не ответил на «%1»: дождитесь ответа или %2</source>
        <translation>The module has not answered &quot;%1&quot; yet: wait for its reply or %2</translation>
    </message>
    <message>
        <source>Поиск недоступен, пока порт открыт: сначала %1</source>
        <translation>No search while a port is open: first %1</translation>
    </message>
</context>
<context>
    <name>ExchangeLog</name>
    <message>
        <source> [ещё %1 байт отброшено]</source>
        <translation> [%1 more bytes dropped]</translation>
    </message>
    <message>
        <source>Журнал не записывается в файл %1: %2</source>
        <translation>The log is not being written to %1: %2</translation>
    </message>
    <message>
        <source>окно «%1»: %2</source>
        <translation>box &quot;%1&quot;: %2</translation>
    </message>
</context>
<context>
    <name>FileTail</name>
    <message>
        <source>файл принял только часть строки (она закрыта переводом строки); причину система не сообщила</source>
        <translation>the file took only part of the line (it was closed with a line end); the system gave no reason</translation>
    </message>
</context>
<context>
    <name>LinkWords</name>
    <message>
        <source>Система сообщает: %1.</source>
        <translation>The system says: %1.</translation>
    </message>
    <message>
        <source>Нет доступа к порту %1. Добавьте пользователя в группу dialout (sudo usermod -aG dialout $USER) и войдите в систему заново.</source>
        <translation>No access to port %1. Add the user to the dialout group (sudo usermod -aG dialout $USER) and log in again.</translation>
    </message>
    <message>
        <source>Нет доступа к порту %1.</source>
        <translation>No access to port %1.</translation>
    </message>
    <message>
        <source>Порт %1 занят другой программой. Закройте её и попробуйте снова; в Linux порт часто держат ModemManager или brltty.</source>
        <translation>Port %1 is held by another program. Close it and try again; on Linux ModemManager or brltty often hold such ports.</translation>
    </message>
    <message>
        <source>Порт %1 занят другой программой. Закройте её и попробуйте снова.</source>
        <translation>Port %1 is held by another program. Close it and try again.</translation>
    </message>
    <message>
        <source>Не удалось открыть порт %1.</source>
        <translation>Could not open port %1.</translation>
    </message>
    <message>
        <source>Если адаптер подключён, но его COM-порта нет в «Диспетчере устройств» (раздел «Порты (COM и LPT)»), а сам адаптер стоит в «Других устройствах» или с жёлтым знаком, установите драйвер адаптера.</source>
        <translation>If the adapter is plugged in but Device Manager shows no COM port for it (under &quot;Ports (COM &amp; LPT)&quot;), and the adapter itself is under &quot;Other devices&quot; or has a yellow mark, install the adapter&apos;s driver.</translation>
    </message>
    <message>
        <source>Модуль не ответил на команду «%1» за %2&#xa0;с. Проверьте питание модуля, подключение линий A и B, выбранный порт и что модуль в режиме настройки.</source>
        <translation>The module did not answer the command &quot;%1&quot; within %2&#xa0;s. Check the module&apos;s power, the wiring of lines A and B, the chosen port, and that the module is in configuration mode.</translation>
    </message>
    <message>
        <source>Имя сетевого порта «%1» неполно: нужно socket://АДРЕС:ПОРТ или rfc2217://АДРЕС:ПОРТ.</source>
        <translation>The network port name “%1” is incomplete: use socket://HOST:PORT or rfc2217://HOST:PORT.</translation>
    </message>
    <message>
        <source>Адрес %1 не найден: проверьте имя или IP-адрес шлюза и настройки сети (DNS).</source>
        <translation>Address %1 not found: check the gateway’s name or IP address and the network settings (DNS).</translation>
    </message>
    <message>
        <source>Шлюз %1 отказал в соединении: проверьте номер TCP-порта, что порт шлюза включён (режим «TCP-сервер» или RFC 2217) и что к нему не подключён другой клиент.</source>
        <translation>Gateway %1 refused the connection: check the TCP port number, that the gateway’s port is enabled (TCP server or RFC 2217 mode) and that no other client is connected to it.</translation>
    </message>
    <message>
        <source>Шлюз %1 не ответил за %2&#xa0;с: проверьте, что он включён и доступен по сети (ping), его адрес и межсетевой экран.</source>
        <translation>Gateway %1 did not answer within %2&#xa0;s: check that it is on and reachable (ping), its address and the firewall.</translation>
    </message>
    <message>
        <source>Шлюз %1 не поддерживает RFC 2217 (COM-PORT-OPTION): похоже, его порт в режиме «raw» («TCP-сервер»). Включите на шлюзе RFC 2217 или откройте порт как socket://%1, задав на шлюзе 9600 бод, 8N1.</source>
        <translation>Gateway %1 does not support RFC 2217 (COM-PORT-OPTION): its port seems to be in raw (TCP server) mode. Enable RFC 2217 on the gateway, or open the port as socket://%1 with the gateway set to 9600 baud, 8N1.</translation>
    </message>
    <message>
        <source>шлюз ответил «%1»</source>
        <translation>the gateway said &quot;%1&quot;</translation>
    </message>
    <message>
        <source>сервер отказался от COM-PORT-OPTION</source>
        <translation>the server refused COM-PORT-OPTION</translation>
    </message>
    <message>
        <source>нет ответа на COM-PORT-OPTION</source>
        <translation>no answer to COM-PORT-OPTION</translation>
    </message>
    <message>
        <source>Связь с портом %1 потеряна: %2</source>
        <translation>Link to port %1 lost: %2</translation>
    </message>
    <message>
        <source>порт не выбран</source>
        <translation>no port chosen</translation>
    </message>
    <message>
        <source> (нет прав: добавьте пользователя в группу dialout и войдите заново)</source>
        <translation> (no access: add the user to the dialout group and log in again)</translation>
    </message>
    <message>
        <source> (порт занят другой программой)</source>
        <translation> (the port is held by another program)</translation>
    </message>
    <message>
        <source>Не удалось открыть порт %1: %2</source>
        <translation>Could not open port %1: %2</translation>
    </message>
    <message>
        <source>процесс %1</source>
        <translation>process %1</translation>
    </message>
    <message>
        <source>%1, процесс %2</source>
        <translation>%1, process %2</translation>
    </message>
    <message>
        <source>его держит %1 (flock)</source>
        <translation>held by %1 (flock)</translation>
    </message>
    <message>
        <source>его держит другая программа (вызовом flock())</source>
        <translation>held by another program (through flock())</translation>
    </message>
    <message>
        <source>файл блокировки %1: %2</source>
        <translation>lock file %1: %2</translation>
    </message>
    <message>
        <source>файл блокировки %1 есть, но прочитать его нельзя (%2): чей он, неизвестно</source>
        <translation>lock file %1 exists but cannot be read (%2): whose it is cannot be told</translation>
    </message>
    <message>
        <source>файл блокировки %1 — не обычный файл (канал или устройство): порт не открыть, пока этот файл не удалён</source>
        <translation>lock file %1 is not a regular file (a pipe or a device): the port cannot be opened until that file is removed</translation>
    </message>
    <message>
        <source>Порт не выбран: выберите порт в списке или %1.</source>
        <translation>No port chosen: choose a port in the list or %1.</translation>
    </message>
    <message>
        <source>Порт %1 не найден: адаптер отключён или имя порта неверно. Подключите адаптер и %2.</source>
        <translation>Port %1 not found: the adapter is unplugged or the port name is wrong. Plug the adapter in and %2.</translation>
    </message>
    <message>
        <source>Связь с портом %1 потеряна: адаптер отключён. Подключите его и %2.</source>
        <translation>Link to port %1 lost: the adapter was unplugged. Plug it in and %2.</translation>
    </message>
    <message>
        <source>Соединение со шлюзом %1 потеряно: проверьте сеть и питание шлюза и %2.</source>
        <translation>The connection to gateway %1 was lost: check the network and the gateway’s power and %2.</translation>
    </message>
</context>
<context>
    <name>LogWindow</name>
    <message>
        <source>Журнал обмена</source>
        <translation>Exchange log</translation>
    </message>
    <message>
        <source>Сохранить…</source>
        <translation>Save…</translation>
    </message>
    <message>
        <source>Очистить</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Сохранить журнал</source>
        <translation>Save the log</translation>
    </message>
    <message>
        <source>Текстовые файлы (*.log *.txt)</source>
        <translation>Text files (*.log *.txt)</translation>
    </message>
    <message>
        <source>Не удалось сохранить журнал в %1: %2</source>
        <translation>Could not save the log to %1: %2</translation>
    </message>
    <message>
        <source>Очистить журнал</source>
        <translation>Clear the log</translation>
    </message>
    <message>
        <source>Удалить из журнала все записи (%1)? Вернуть их будет нельзя.</source>
        <translation>Remove every entry (%1) from the log? They cannot be brought back.</translation>
    </message>
    <message>
        <source>это не обычный файл (устройство, канал или папка); выберите файл</source>
        <translation>it is not a regular file (a device, a pipe or a folder); choose a file</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Паритет</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>Количество стоповых бит</source>
        <translation>Stop bits</translation>
    </message>
    <message>
        <source>Скорость RS-485</source>
        <translation>RS-485 baud rate</translation>
    </message>
    <message>
        <source>Соединиться</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>COM PORT</source>
        <translation>COM PORT</translation>
    </message>
    <message>
        <source>Считать состояние</source>
        <translation>Read settings</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Записать настройки</source>
        <translation>Write settings</translation>
    </message>
    <message>
        <source>Поиск</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>

F2 — журнал обмена</source>
        <translation>

F2: exchange log</translation>
    </message>
    <message>
        <source>Идёт запись</source>
        <translation>Writing</translation>
    </message>
    <message>
        <source>Идёт запись настроек в модуль. Если закрыть программу сейчас, модуль останется записанным наполовину. Всё равно закрыть?</source>
        <translation>The settings are being written to the module. If you close the program now, the module is left half written. Close anyway?</translation>
    </message>
    <message>
        <source>Порты обновлены</source>
        <translation>Ports refreshed</translation>
    </message>
    <message>
        <source>Отключиться</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Результат</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Новые настройки записаны!
<byte value="xd"/>Модуль переведен в режим работы!</source>
        <translation>New settings written!
<byte value="xd"/>The module is now in operating mode!</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Ошибка соединения</source>
        <translation>Connection error</translation>
    </message>
    <message>
        <source>Critical Error</source>
        <translation>Critical Error</translation>
    </message>
    <message>
        <source>Запись не завершена</source>
        <translation>Write not finished</translation>
    </message>
    <message>
        <source>Конфигуратор TAV-RS485-KT v1.0</source>
        <translation>TAV-RS485-KT Configurator v1.0</translation>
    </message>
    <message>
        <source>Строка состояния</source>
        <translation>Status bar</translation>
    </message>
    <message>
        <source>Ответ всё ещё ожидается: обмен продолжится, когда он придёт. Чтобы прекратить, нажмите «Отключиться».</source>
        <translation>The reply is still awaited: the exchange goes on when it comes. To give up, press &quot;Disconnect&quot;.</translation>
    </message>
    <message>
        <source>Журнал сохранён: %1</source>
        <translation>Log saved: %1</translation>
    </message>
</context>
<context>
    <name>ManualWindow</name>
    <message>
        <source>Руководство пользователя</source>
        <translation>User&apos;s manual (in Russian)</translation>
    </message>
</context>
<context>
    <name>ModuleRecord</name>
    <message>
        <source>Запись в файл учёта %1 прекращена: %2</source>
        <translation>No longer writing the record file %1: %2</translation>
    </message>
    <message>
        <source>его первая строка - не заголовок файла учёта: не понять, через «;» или через «,» писать строки</source>
        <translation>its first line is not a record&apos;s header: there is no telling whether rows go with &quot;;&quot; or with &quot;,&quot;</translation>
    </message>
</context>
<context>
    <name>ModuleResult</name>
    <message>
        <source>Модуль сообщил не все значения: %1</source>
        <translation>The module did not report every value: %1</translation>
    </message>
</context>
<context>
    <name>PortField</name>
    <message>
        <source>Запомненные порты не показаны: %1 (их больше %2 или имя длиннее %3 знаков)</source>
        <translation>Remembered ports not shown: %1 (more than %2, or a name longer than %3 characters)</translation>
    </message>
    <message>
        <source>Описание: %1</source>
        <translation>Description: %1</translation>
    </message>
    <message>
        <source>Производитель: %1</source>
        <translation>Manufacturer: %1</translation>
    </message>
    <message>
        <source>Серийный номер: %1</source>
        <translation>Serial number: %1</translation>
    </message>
    <message>
        <source>USB VID:PID: %1</source>
        <translation>USB VID:PID: %1</translation>
    </message>
    <message>
        <source>Расположение: %1</source>
        <translation>Location: %1</translation>
    </message>
</context>
<context>
    <name>Session</name>
    <message>
        <source>нет такого языка: %1 (%2)</source>
        <translation>no such language: %1 (%2)</translation>
    </message>
    <message>
        <source>--record-format: spreadsheet или rfc4180</source>
        <translation>--record-format: spreadsheet or rfc4180</translation>
    </message>
    <message>
        <source>нельзя писать в файл учёта %1: %2</source>
        <translation>cannot write the record file %1: %2</translation>
    </message>
    <message>
        <source>нельзя писать в файл журнала %1: %2</source>
        <translation>cannot write the log file %1: %2</translation>
    </message>
    <message>
        <source>Последняя строка файла учёта %1 была оборвана (запись в него не удалась): она закрыта, новые строки идут ниже</source>
        <translation>The last row of the record %1 was torn (a write to it failed): it is closed, new rows go below it</translation>
    </message>
    <message>
        <source>Дописывать в FILE журнал обмена с метками времени.</source>
        <translation>Append the timestamped exchange log to FILE.</translation>
    </message>
    <message>
        <source>Дописывать в FILE строку CSV на модуль: время, порт, адаптер, ответ на -h, значения до, заданные, подтверждённые и после, исход, код завершения.</source>
        <translation>Append a CSV row per module to FILE: time, port, adapter, the reply to -h, values before, requested, confirmed and after, outcome, exit code.</translation>
    </message>
    <message>
        <source>Вид файла учёта: spreadsheet (по умолчанию: через «;», UTF-8 с BOM, открывается двойным щелчком в таблице) или rfc4180 (через запятую, для программ). Файл, в котором уже есть строки, остаётся своего вида.</source>
        <translation>Form of the record file: spreadsheet (the default: cells apart by &quot;;&quot;, UTF-8 with a byte-order mark, opens by a double-click in a spreadsheet) or rfc4180 (commas, for programs). A file that already has rows keeps its form.</translation>
    </message>
    <message>
        <source>Язык всего, что печатает программа: ru (по умолчанию) или en.</source>
        <translation>Language of everything the program prints: ru (the default) or en.</translation>
    </message>
</context>
<context>
    <name>Start</name>
    <message>
        <source>Конфигуратор полевого модуля RS-485 TAV-RS485-KT.</source>
        <translation>Configurator for the TAV-RS485-KT RS-485 field module.</translation>
    </message>
    <message>
        <source>Порт, который предложить и выбрать, даже если система его не показывает: %1.</source>
        <translation>A port to offer and select even if the system does not list it: %1.</translation>
    </message>
    <message>
        <source>нет дисплея, окно открыть негде (не заданы DISPLAY и WAYLAND_DISPLAY). Без дисплея модули читает и записывает tav-configurator-cli: tav-configurator-cli --help</source>
        <translation>no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set). Without a display, tav-configurator-cli reads and writes modules: tav-configurator-cli --help</translation>
    </message>
    <message>
        <source>Открыть только руководство пользователя.</source>
        <translation>Open only the user&apos;s manual.</translation>
    </message>
</context>
<context>
    <name>StateWords</name>
    <message>
        <source>значение неизвестно</source>
        <translation>value unknown</translation>
    </message>
    <message>
        <source>считано из модуля</source>
        <translation>read from the module</translation>
    </message>
    <message>
        <source>ответ модуля не распознан</source>
        <translation>the module&apos;s reply was not understood</translation>
    </message>
    <message>
        <source>отправлено, ожидается ответ</source>
        <translation>sent, waiting for the module</translation>
    </message>
    <message>
        <source>подтверждено модулем</source>
        <translation>confirmed by the module</translation>
    </message>
    <message>
        <source>отклонено модулем</source>
        <translation>refused by the module</translation>
    </message>
    <message>
        <source>выбрано, не записано</source>
        <translation>picked, not written</translation>
    </message>
    <message>
        <source>поиск не идёт</source>
        <translation>not searching</translation>
    </message>
    <message>
        <source>идёт поиск адаптера</source>
        <translation>searching for an adapter</translation>
    </message>
    <message>
        <source>адаптер найден и открыт</source>
        <translation>adapter found and opened</translation>
    </message>
    <message>
        <source>модуль не найден</source>
        <translation>module not found</translation>
    </message>
    <message>
        <source>нажмите «Соединиться»</source>
        <translation>press &quot;Connect&quot;</translation>
    </message>
    <message>
        <source>нажмите «Обновить»</source>
        <translation>press &quot;Refresh&quot;</translation>
    </message>
    <message>
        <source>выберите порт и нажмите «Соединиться»</source>
        <translation>choose a port and press &quot;Connect&quot;</translation>
    </message>
    <message>
        <source>нажмите «Отключиться»</source>
        <translation>press &quot;Disconnect&quot;</translation>
    </message>
</context>
<context>
    <name>StatusPanel</name>
    <message>
        <source>%v из %m</source>
        <translation>%v of %m</translation>
    </message>
    <message>
        <source>Ход обмена</source>
        <translation>Exchange progress</translation>
    </message>
    <message>
        <source>Журнал обмена</source>
        <translation>Exchange log</translation>
    </message>
    <message>
        <source>Журнал (F2)</source>
        <translation>Log (F2)</translation>
    </message>
    <message>
        <source>Журнал обмена: все сообщения, команды и ответы (F2)</source>
        <translation>Exchange log: every message, command and reply (F2)</translation>
    </message>
    <message>
        <source>Руководство пользователя</source>
        <translation>User&apos;s manual (in Russian)</translation>
    </message>
</context>
</TS>
