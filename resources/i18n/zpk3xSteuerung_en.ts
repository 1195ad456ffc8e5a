<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>COMPANEL</name>
    <message>
        <source>Adresse</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>nicht geöffnet</source>
        <translation>not opend</translation>
    </message>
    <message>
        <source>ID lesen</source>
        <translation>Read ID</translation>
    </message>
    <message>
        <source>Fenster schließen</source>
        <translation>Close window</translation>
    </message>
    <message>
        <source>COM Einstellung</source>
        <translation>COM settings</translation>
    </message>
</context>
<context>
    <name>INFOPANEL</name>
    <message>
        <source>OLQ Prüf- und Regeltechnik GmbH
Am Messfeld 7
34567 Lindenau
Deutschland
Telefon +49 5678 91011-0
info@olq.example</source>
        <translation>OLQ Prüf- und Regeltechnik GmbH
Am Messfeld 7
34567 Lindenau
Germany
Phone +49 5678 91011-0
info@olq.example</translation>
    </message>
</context>
<context>
    <name>MAINPANEL</name>
    <message>
        <source>Programmverwaltung</source>
        <translation>Programs</translation>
    </message>
    <message>
        <source>Parametersatz</source>
        <translation>Parameter sets</translation>
    </message>
    <message>
        <source>Arbeitsparameter</source>
        <translation>Working parameters</translation>
    </message>
    <message>
        <source>Programm 1</source>
        <translation>Program 1</translation>
    </message>
    <message>
        <source>Programm 2</source>
        <translation>Program 2</translation>
    </message>
    <message>
        <source>Programm 3</source>
        <translation>Program 3</translation>
    </message>
    <message>
        <source>Programm 4</source>
        <translation>Program 4</translation>
    </message>
    <message>
        <source>Programm 5</source>
        <translation>Program 5</translation>
    </message>
    <message>
        <source>Programm 6</source>
        <translation>Program 6</translation>
    </message>
    <message>
        <source>Programm 7</source>
        <translation>Program 7</translation>
    </message>
    <message>
        <source>Programm 8</source>
        <translation>Program 8</translation>
    </message>
    <message>
        <source>Programm 9</source>
        <translation>Program 9</translation>
    </message>
    <message>
        <source>Programm 10</source>
        <translation>Program 10</translation>
    </message>
    <message>
        <source>Programm 11</source>
        <translation>Program 11</translation>
    </message>
    <message>
        <source>Programm 12</source>
        <translation>Program 12</translation>
    </message>
    <message>
        <source>Programm 13</source>
        <translation>Program 13</translation>
    </message>
    <message>
        <source>Programm 14</source>
        <translation>Program 14</translation>
    </message>
    <message>
        <source>Programm 15</source>
        <translation>Program 15</translation>
    </message>
    <message>
        <source>Programm 16</source>
        <translation>Program 16</translation>
    </message>
    <message>
        <source>vom ZPK-3 lesen</source>
        <translation>Read from ZPK-3</translation>
    </message>
    <message>
        <source>zum ZPK-3 schreiben</source>
        <translation>Write to ZPK-3</translation>
    </message>
    <message>
        <source>Achtung:
Jedes Lesen/Schreiben
beinflußt auch die Arbeits-
parameter.</source>
        <translation>Caution:
Each read/write will
influence the working
parameters.</translation>
    </message>
    <message>
        <source>Arbeitsparameter in/von Programm</source>
        <translation>Working parameters to/from program</translation>
    </message>
    <message>
        <source>laden</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>speichern</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>ZPK-3 steuern</source>
        <translation>Set ZPK-3</translation>
    </message>
    <message>
        <source>Stopp</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Fehler löschen</source>
        <translation>Clear errors</translation>
    </message>
    <message>
        <source>Kalibrieren</source>
        <translation>Calibrate</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Stromkurve</source>
        <translation>Current curve</translation>
    </message>
    <message>
        <source>1 - externer Stellwert</source>
        <translation>1 - External set value</translation>
    </message>
    <message>
        <source>2 - feste Spannung</source>
        <translation>2 - fixed voltage</translation>
    </message>
    <message>
        <source>3 - Rechteck ungeregelt</source>
        <translation>3 - Rectangle not regulated</translation>
    </message>
    <message>
        <source>4 - Rechteck geregelt</source>
        <translation>4 - Rectangle regulated</translation>
    </message>
    <message>
        <source>5 - Dreieck ungeregelt</source>
        <translation>5 - Triangle not regulated</translation>
    </message>
    <message>
        <source>6 - Dreieck geregelt</source>
        <translation>6 - Triangle regulated</translation>
    </message>
    <message>
        <source>7 - Strom 1/2 geregelt, ext. umschaltbar</source>
        <translation>7 - Current 1/2 regulated, ext. switched</translation>
    </message>
    <message>
        <source>8 - Strom 1 geregelt</source>
        <translation>8 - Current 1 regulated</translation>
    </message>
    <message>
        <source>9 - Strom 1/2 geregelt, manuell einstellbar</source>
        <translation>9 - Current 1/2 regulated, manually setable</translation>
    </message>
    <message>
        <source>10 - Dreieck geregelt, Freq. man. einstellbar</source>
        <translation>10 - Triangle regulated,  Freq. man. setable</translation>
    </message>
    <message>
        <source>11 - externer Sollwert geregelt</source>
        <translation>11 - External set value regulated</translation>
    </message>
    <message>
        <source>12 - Kurvengenerator</source>
        <translation>12 - Curve generator</translation>
    </message>
    <message>
        <source>Strom 1 [A]</source>
        <translation>Current 1 [A]</translation>
    </message>
    <message>
        <source>Strom 2 [A]</source>
        <translation>Current 2 [A]</translation>
    </message>
    <message>
        <source>Zeit 1 [ms]</source>
        <translation>Time 1 [ms]</translation>
    </message>
    <message>
        <source>Zeit 2 [ms]</source>
        <translation>Time 2 [ms]</translation>
    </message>
    <message>
        <source>PWM-Frequenz [Hz]</source>
        <translation>PWM-Frequency [Hz]</translation>
    </message>
    <message>
        <source>Prüfspannung [V]</source>
        <translation>Voltage [V]</translation>
    </message>
    <message>
        <source>Prüfzyklen</source>
        <translation>Cycles</translation>
    </message>
    <message>
        <source>Regelgeschwindigkeit [%]</source>
        <translation>Regulation speed [%]</translation>
    </message>
    <message>
        <source>Endstufe regeln</source>
        <translation>Regulate directly</translation>
    </message>
    <message>
        <source>ein</source>
        <translation>on</translation>
    </message>
    <message>
        <source>aus</source>
        <translation>off</translation>
    </message>
    <message>
        <source>= in dieser
   Stromkurve
   benötigt</source>
        <translation>= necessary in
   this current
   curve</translation>
    </message>
    <message>
        <source>Strom [A]</source>
        <translation>Current [A]</translation>
    </message>
    <message>
        <source>Spannung [V]</source>
        <translation>Voltage [V]</translation>
    </message>
    <message>
        <source>abfragen</source>
        <translation>Get</translation>
    </message>
    <message>
        <source>dauernd</source>
        <translation>Continously</translation>
    </message>
    <message>
        <source>Innentemperatur zu hoch</source>
        <translation>Inside temperature too high</translation>
    </message>
    <message>
        <source>Parameter zerstört</source>
        <translation>Parameters destroyed</translation>
    </message>
    <message>
        <source>Kalibrierung ungültig</source>
        <translation>Invalid calibration</translation>
    </message>
    <message>
        <source>Prüfspannung außerhalb der Toleranz</source>
        <translation>Voltage out of tolerance</translation>
    </message>
    <message>
        <source>Prozess wurde gestartet</source>
        <translation>Process has been started</translation>
    </message>
    <message>
        <source>Prozess wurde abgeschlossen</source>
        <translation>Process has ended</translation>
    </message>
    <message>
        <source>Prozess wurde abgebrochen</source>
        <translation>Process has been canceld</translation>
    </message>
    <message>
        <source>Verbinden oder trennen (Klick, Enter oder Leertaste)</source>
        <translation>Connect or disconnect (click, Enter or space)</translation>
    </message>
    <message>
        <source>Fehler</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Sprache</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Datei</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Hilfe</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Neu</source>
        <translation>New</translation>
    </message>
    <message>
        <source>Öffnen</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Speichern</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Speichern unter</source>
        <translation>Save as</translation>
    </message>
    <message>
        <source>Beenden</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Com Einstellung</source>
        <translation>Com settings</translation>
    </message>
    <message>
        <source>Verlauf</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>Verlauf…</source>
        <translation>Trend…</translation>
    </message>
    <message>
        <source>Prüfplan…</source>
        <translation>Test plan…</translation>
    </message>
    <message>
        <source>Verlauf von Strom und Spannung</source>
        <translation>Course of current and voltage</translation>
    </message>
</context>
<context>
    <name>VERLAUFPANEL</name>
    <message>
        <source>Verlauf</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>Zeitfenster</source>
        <translation>Time window</translation>
    </message>
    <message>
        <source>letzte Minute</source>
        <translation>last minute</translation>
    </message>
    <message>
        <source>letzte 10 Minuten</source>
        <translation>last 10 minutes</translation>
    </message>
    <message>
        <source>letzte Stunde</source>
        <translation>last hour</translation>
    </message>
    <message>
        <source>alles</source>
        <translation>all</translation>
    </message>
    <message>
        <source>folgen</source>
        <translation>Follow</translation>
    </message>
    <message>
        <source>Die Zeitachse folgt den neuen Werten; aus: angehalten</source>
        <translation>The time axis follows the new values; off: paused</translation>
    </message>
    <message>
        <source>Leeren</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Leert die Anzeige; eine Aufzeichnung läuft weiter</source>
        <translation>Empties the plot; a recording goes on</translation>
    </message>
    <message>
        <source>Als Bild speichern…</source>
        <translation>Save as image…</translation>
    </message>
    <message>
        <source>Aufzeichnen…</source>
        <translation>Record…</translation>
    </message>
    <message>
        <source>Aufzeichnung beenden</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>Aufzeichnung:</source>
        <translation>Recording:</translation>
    </message>
</context>
<context>
    <name>PRUEFPANEL</name>
    <message>
        <source>Prüfplan</source>
        <translation>Test plan</translation>
    </message>
    <message>
        <source>Wählen…</source>
        <translation>Choose…</translation>
    </message>
    <message>
        <source>Seriennummer</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>Prüfen</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>Führt den Plan am Gerät aus; Enter in der Seriennummer ebenso</source>
        <translation>Runs the plan on the device; so does Enter in the serial number</translation>
    </message>
    <message>
        <source>Aufzeichnungen:</source>
        <translation>Records:</translation>
    </message>
</context>
</TS>
