#!/bin/sh
# Writes textlist-input.txt: a UTF-8 list with a byte-order mark and every kind of line break
# (CR LF, LF, CR, LF CR, a final break), markup to keep, markup to wrap, and lines the cutting
# rule must take apart as they are.
cd "$(dirname "$0")"
{
    printf '\357\273\277'
    printf '紫禁城(116.3920388,39.91120332)中国古代帝王宫殿，位于中国北京市\r\n'
    printf '上海浦东(121.4965666,31.23973873)<b>新兴的</b>中国大都市 & 港口\n'
    printf 'hello\n\r'
    printf 'Station 7( 104.1 , 30.6 )一<br>二\r'
    printf 'a,b(1,2)c\r\n'
    printf 'n(1;2)d\n'
    printf '西湖(120.15,30.25\n'
    printf '(1,2)<a href="http://example.com/?a=1&amp;b=2">链接</a>\r\n'
} >textlist-input.txt
