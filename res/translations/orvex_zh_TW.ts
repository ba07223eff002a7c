<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>StringTable</name>
    <message>
        <source>Wait...</source>
        <translation>請稍後...</translation>
    </message>
</context>
</TS>
