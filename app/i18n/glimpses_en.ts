<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>glimpses</name>
    <message>
        <source> (%1: 每次搜索前检查修改时间)</source>
        <translation> (%1: modification times checked before each search)</translation>
    </message>
    <message>
        <source> (另有 %1 个文档尚未读取信息)</source>
        <translation> (%1 more documents not read yet)</translation>
    </message>
    <message>
        <source>%1 个文档</source>
        <translation>%1 documents</translation>
    </message>
    <message>
        <source>作者</source>
        <translation>Authors</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>停止正在进行的导出</source>
        <translation>Stop the export under way</translation>
    </message>
    <message>
        <source>元数据日期</source>
        <translation>Metadata date</translation>
    </message>
    <message>
        <source>内含</source>
        <translation>Stored</translation>
    </message>
    <message>
        <source>创建工具</source>
        <translation>Creator tool</translation>
    </message>
    <message>
        <source>创建日期</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>印版</source>
        <translation>Plates</translation>
    </message>
    <message>
        <source>原始文档 ID</source>
        <translation>Original document ID</translation>
    </message>
    <message>
        <source>字体</source>
        <translation>Fonts</translation>
    </message>
    <message>
        <source>实例 ID</source>
        <translation>Instance ID</translation>
    </message>
    <message>
        <source>导出联系表</source>
        <translation>Export contact sheet</translation>
    </message>
    <message>
        <source>导出联系表失败, 没有写入文件: %1</source>
        <translation>Contact sheet not written: %1</translation>
    </message>
    <message>
        <source>导出联系表失败: 没有可放入联系表的文档, 没有写入文件</source>
        <translation>Contact sheet not written: no document to put on it</translation>
    </message>
    <message>
        <source>导出联系表失败: 磁盘已满, 没有写入文件 (%1)</source>
        <translation>Contact sheet not written: the disk is full (%1)</translation>
    </message>
    <message>
        <source>导出联系表已取消, 没有写入文件</source>
        <translation>Contact sheet cancelled, nothing written</translation>
    </message>
    <message>
        <source>已导出联系表: %1 个文档, %2 页 (%3 个没有缩略图), 保存为 %4</source>
        <translation>Contact sheet written: %1 documents on %2 pages (%3 without thumbnail), saved as %4</translation>
    </message>
    <message>
        <source>已导出联系表: %1 个文档, %2 页, 保存为 %3</source>
        <translation>Contact sheet written: %1 documents on %2 pages, saved as %3</translation>
    </message>
    <message>
        <source>文档 ID</source>
        <translation>Document ID</translation>
    </message>
    <message>
        <source>无法读取此文档的信息</source>
        <translation>This document cannot be read</translation>
    </message>
    <message>
        <source>显示所选文档的信息 (Ctrl+I)</source>
        <translation>Show what the selected document holds (Ctrl+I)</translation>
    </message>
    <message>
        <source>显示所选文档的缩略图</source>
        <translation>Show the selected document's thumbnail</translation>
    </message>
    <message>
        <source>标题</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>正在导出联系表...</source>
        <translation>Exporting the contact sheet...</translation>
    </message>
    <message>
        <source>正在导出联系表: %1 / %2</source>
        <translation>Exporting the contact sheet: %1 / %2</translation>
    </message>
    <message>
        <source>正在读取文档信息 (%1 / %2)…</source>
        <translation>Reading what documents hold (%1 / %2)…</translation>
    </message>
    <message>
        <source>%1 个未能监视的文件夹</source>
        <translation>%1 folders left unwatched</translation>
    </message>
    <message>
        <source>%1 个网络目录</source>
        <translation>%1 network folders</translation>
    </message>
    <message>
        <source>, %1 个文档导出失败 (%2)</source>
        <translation>, %1 documents failed (%2)</translation>
    </message>
    <message>
        <source>Adobe AI EPS INDD PDF和CorelDRAW 缩略图工具</source>
        <translation>Adobe AI EPS INDD PDF and CorelDRAW thumbnail tool</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>保存关闭</source>
        <translation>Save and close</translation>
    </message>
    <message>
        <source>修改日期</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>偏好设置未保存: 无法写入 %1</source>
        <translation>Preferences not saved: cannot write %1</translation>
    </message>
    <message>
        <source>停止正在进行的导出, 已写入的缩略图保留</source>
        <translation>Stop the running export; the thumbnails written so far stay</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>关键字 --&gt; 搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>列表</source>
        <translation>List</translation>
    </message>
    <message>
        <source>列表视图 (Ctrl+1)</source>
        <translation>List view (Ctrl+1)</translation>
    </message>
    <message>
        <source>匹配: %1 个文档(AI CDR EPS INDD PDF格式), 鼠标双击: 打开文件，右键: 打开路径</source>
        <translation>Matches: %1 documents (AI CDR EPS INDD PDF), double-click: open the file, right-click: open its folder</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>复制完整路径</source>
        <translation>Copy full paths</translation>
    </message>
    <message>
        <source>复制文件</source>
        <translation>Copy files</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>导出中止: 输出目录已满, 已写入 %1 个缩略图, 其余文档没有导出: %2</source>
        <translation>Export stopped: the output folder is full, %1 thumbnails written, the other documents were not exported: %2</translation>
    </message>
    <message>
        <source>导出失败: 搜索服务没有回答, 没有写入任何文件</source>
        <translation>Export failed: the search service did not answer, no file was written</translation>
    </message>
    <message>
        <source>导出失败: 请先填写输出目录</source>
        <translation>Export failed: enter an output folder first</translation>
    </message>
    <message>
        <source>导出失败: 输出目录无法创建或写入, 没有写入任何文件: %1</source>
        <translation>Export failed: the output folder cannot be created or written to, no file was written: %1</translation>
    </message>
    <message>
        <source>导出失败: 输出目录须为完整路径 (以 / 或 ~/ 开头): %1</source>
        <translation>Export failed: the output folder must be a full path (starting with / or ~/): %1</translation>
    </message>
    <message>
        <source>导出完成: %1 个文档, 写入 %2 个缩略图, %3 个文档没有缩略图%4</source>
        <translation>Export done: %1 documents, %2 thumbnails written, %3 documents without a thumbnail%4</translation>
    </message>
    <message>
        <source>导出已取消: 已处理 %1 / %2 个文档, 写入 %3 个缩略图, %4 个文档没有缩略图%5</source>
        <translation>Export cancelled: %1 / %2 documents done, %3 thumbnails written, %4 documents without a thumbnail%5</translation>
    </message>
    <message>
        <source>导出所选缩略图</source>
        <translation>Export the selection's thumbnails</translation>
    </message>
    <message>
        <source>开始执行</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>开始执行提取缩略图</source>
        <translation>Start exporting the thumbnails</translation>
    </message>
    <message>
        <source>微信扫一扫打赏作者</source>
        <translation>Scan with WeChat to tip the author</translation>
    </message>
    <message>
        <source>所选文档</source>
        <translation>Selection</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>打开所在文件夹</source>
        <translation>Open containing folder</translation>
    </message>
    <message>
        <source>排除此文件夹</source>
        <translation>Exclude this folder</translation>
    </message>
    <message>
        <source>排除的文件夹</source>
        <translation>Excluded folders</translation>
    </message>
    <message>
        <source>文件版本</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>查询有误: %1</source>
        <translation>Malformed query: %1</translation>
    </message>
    <message>
        <source>正在取消导出...</source>
        <translation>Cancelling the export...</translation>
    </message>
    <message>
        <source>正在导出缩略图...</source>
        <translation>Exporting thumbnails...</translation>
    </message>
    <message>
        <source>正在导出缩略图: %1 / %2</source>
        <translation>Exporting thumbnails: %1 / %2</translation>
    </message>
    <message>
        <source>正在建立文件索引 (已读取 %1 项), 索引完成后即显示搜索结果...</source>
        <translation>Building the file index (%1 entries read); results show when it is done...</translation>
    </message>
    <message>
        <source>正在读取文档信息...</source>
        <translation>Reading the document...</translation>
    </message>
    <message>
        <source>每行一个文件夹或模式 (可用 * 和 ?):</source>
        <translation>One folder or pattern a line (* and ? allowed):</translation>
    </message>
    <message>
        <source>没有</source>
        <translation>None</translation>
    </message>
    <message>
        <source>生成程序</source>
        <translation>Producer</translation>
    </message>
    <message>
        <source>程序</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>索引正忙, 请稍后再试</source>
        <translation>The index is busy, please try again</translation>
    </message>
    <message>
        <source>编辑排除列表...</source>
        <translation>Edit excluded folders...</translation>
    </message>
    <message>
        <source>缩略图</source>
        <translation>Thumbnail</translation>
    </message>
    <message>
        <source>缩略图大小 (Ctrl+滚轮, Ctrl+加号/减号)</source>
        <translation>Thumbnail size (Ctrl+wheel, Ctrl+plus/minus)</translation>
    </message>
    <message>
        <source>缩略图网格视图 (Ctrl+2)</source>
        <translation>Thumbnail grid (Ctrl+2)</translation>
    </message>
    <message>
        <source>网格</source>
        <translation>Grid</translation>
    </message>
    <message>
        <source>置入文件</source>
        <translation>Placed files</translation>
    </message>
    <message>
        <source>联系表.pdf</source>
        <translation>contact sheet.pdf</translation>
    </message>
    <message>
        <source>色板</source>
        <translation>Swatches</translation>
    </message>
    <message>
        <source>设置未保存: 关键字或输出目录含有 GBK 无法保存的字符, 请修改后再试</source>
        <translation>Settings not saved: the keywords or the output folder hold a character GBK cannot store; change it and try again</translation>
    </message>
    <message>
        <source>设置未保存: 关键字或输出目录含有换行</source>
        <translation>Settings not saved: the keywords or the output folder hold a line break</translation>
    </message>
    <message>
        <source>设置未保存: 关键字或输出目录超过 %1 个字符</source>
        <translation>Settings not saved: the keywords or the output folder are longer than %1 characters</translation>
    </message>
    <message>
        <source>设置未保存: 无法写入 %1</source>
        <translation>Settings not saved: cannot write %1</translation>
    </message>
    <message>
        <source>请输入关键字,用空格隔开</source>
        <translation>Enter keywords separated by blanks</translation>
    </message>
    <message>
        <source>路径</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>选择一个文档, 这里显示它的信息</source>
        <translation>Select a document to see what it holds</translation>
    </message>
    <message>
        <source>选择目录</source>
        <translation>Folder...</translation>
    </message>
    <message>
        <source>选择缩略图保存的目录</source>
        <translation>Choose the folder the thumbnails are saved in</translation>
    </message>
    <message>
        <source>选择路径 </source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>页数</source>
        <translation>Pages</translation>
    </message>
    <message>
        <source>页面尺寸</source>
        <translation>Page size</translation>
    </message>
    <message>
        <source>预览</source>
        <translation>Preview</translation>
    </message>
</context>
</TS>
