<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>TFrmInputString</name>
    <message>
        <source>&amp;OK</source>
        <translation>确定(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>取消(&amp;C)</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>&amp;Open...</source>
        <translation>打开(&amp;O)...</translation>
    </message>
    <message>
        <source>O&amp;ptions</source>
        <translation>选项(&amp;P)</translation>
    </message>
    <message>
        <source>&amp;Extract Text</source>
        <translation>提取文本(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>停止(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>关于(&amp;A)...</translation>
    </message>
    <message>
        <source>More Tools</source>
        <translation>更多工具</translation>
    </message>
    <message>
        <source>PDF File (*.pdf)</source>
        <translation>PDF File (*.pdf)</translation>
    </message>
    <message>
        <source>All File (*)</source>
        <translation>All File (*)</translation>
    </message>
    <message>
        <source>Text File (*.txt)</source>
        <translation>Text File (*.txt)</translation>
    </message>
    <message>
        <source>JSON File (*.json)</source>
        <translation>JSON File (*.json)</translation>
    </message>
    <message>
        <source>Markdown File (*.md)</source>
        <translation>Markdown File (*.md)</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Page %1: %2 of %3</source>
        <translation>第 %1 页：%2 / %3</translation>
    </message>
</context>
<context>
    <name>TfrmOption</name>
    <message>
        <source>Options</source>
        <translation>选项</translation>
    </message>
    <message>
        <source>Page Range</source>
        <translation>页面范围</translation>
    </message>
    <message>
        <source>All pages</source>
        <translation>提取所有页面</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>页面</translation>
    </message>
    <message>
        <source>to</source>
        <translation>至</translation>
    </message>
    <message>
        <source>Extract</source>
        <translation>提取 </translation>
    </message>
    <message>
        <source>All pages</source>
        <comment>rgExtract</comment>
        <translation>所有页面</translation>
    </message>
    <message>
        <source>Odd pages</source>
        <translation>奇数页</translation>
    </message>
    <message>
        <source>Even pages</source>
        <translation>偶数页</translation>
    </message>
    <message>
        <source>Page</source>
        <translation>页面</translation>
    </message>
    <message>
        <source>Header:</source>
        <translation>标题:</translation>
    </message>
    <message>
        <source>Footer:</source>
        <translation>页脚:</translation>
    </message>
    <message>
        <source>Layout:</source>
        <translation>提取类型:</translation>
    </message>
    <message>
        <source>Content order</source>
        <translation>在 PDF 命令中的应用</translation>
    </message>
    <message>
        <source>Reflow</source>
        <translation>智能重排</translation>
    </message>
    <message>
        <source>Positioned</source>
        <translation>位置</translation>
    </message>
    <message>
        <source>Reading order</source>
        <translation>阅读顺序</translation>
    </message>
    <message>
        <source>Repair damaged files</source>
        <translation>修复损坏的文件</translation>
    </message>
    <message>
        <source>Text in images:</source>
        <translation>图像中的文字:</translation>
    </message>
    <message>
        <source>OCR languages:</source>
        <translation>OCR 语言:</translation>
    </message>
    <message>
        <source>Never read</source>
        <translation>从不识别</translation>
    </message>
    <message>
        <source>Read pages without text</source>
        <translation>识别没有文字的页面</translation>
    </message>
    <message>
        <source>Always read</source>
        <translation>总是识别</translation>
    </message>
    <message>
        <source>Format:</source>
        <translation>格式:</translation>
    </message>
    <message>
        <source>Text with header and footer</source>
        <translation>带页眉页脚的文本</translation>
    </message>
    <message>
        <source>Plain text</source>
        <translation>纯文本</translation>
    </message>
    <message>
        <source>JSON with word boxes</source>
        <translation>带词框的 JSON</translation>
    </message>
    <message>
        <source>Markdown</source>
        <translation>Markdown</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>确定(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>取消(&amp;C)</translation>
    </message>
</context>
<context>
    <name>TfrmRegBox</name>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>版本:</translation>
    </message>
    <message>
        <source>Vorlith Text Extractor manual</source>
        <translation>Vorlith Text Extractor 说明</translation>
    </message>
    <message>
        <source>&amp;Read Me</source>
        <translation>说明文件(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>关闭(&amp;C)</translation>
    </message>
</context>
</TS>
