#!/bin/sh
# Makes the documents that other_encodings_test.cpp reads: one per encoding,
# in the layout the library writes (two-space indent, line feeds), converted
# from UTF-8 by iconv. The test keeps the same samples; change both together.
set -eu
cd "$(dirname "$0")"
make() {  # file, declared name, iconv name, sample word, sample text
  printf '<?xml version="1.0" encoding="%s"?>\n<doc note="%s">\n  <text>%s</text>\n  <%s>1</%s>\n</doc>\n' \
    "$2" "$5" "$5" "$4" "$4" | iconv -f UTF-8 -t "$3" > "$1.xml"
}
make windows-1251 windows-1251 WINDOWS-1251 Привет 'Съешь же ещё этих мягких булок'
make windows-1250 windows-1250 WINDOWS-1250 Příliš 'Příliš žluťoučký kůň úpěl ďábelské ódy'
make windows-1252 windows-1252 WINDOWS-1252 Café 'Café crème, naïve œuvre – 20 €'
make windows-1253 windows-1253 WINDOWS-1253 Καλημέρα 'Ξεσκεπάζω την ψυχοφθόρα βδελυγμία'
make windows-1255 windows-1255 WINDOWS-1255 שלום 'דג סקרן שט בים מאוכזב'
make windows-1257 windows-1257 WINDOWS-1257 Ąžuolas 'Įlinkdama fechtuotojo špaga sublykčiojusi'
make koi8-r KOI8-R KOI8-R Привет 'Съешь же ещё этих мягких французских булок'
make koi8-u koi8-u KOI8-U Ґанок 'Чуєш їх, доцю, га? Кумедна ж ти, прощайся'
make iso-8859-1 ISO-8859-1 ISO-8859-1 Grüße 'Falsches Üben von Xylophonmusik quält jeden größeren Zwerg'
make iso-8859-2 iso-8859-2 ISO-8859-2 Zażółć 'Zażółć gęślą jaźń, Árvíztűrő tükörfúrógép'
make iso-8859-5 iso-8859-5 ISO-8859-5 Привет 'В чащах юга жил бы цитрус? Да, но фальшивый экземпляр!'
make iso-8859-7 iso-8859-7 ISO-8859-7 Καλημέρα 'Γαζέες και μυρτιές δεν θα βρω πια'
make iso-8859-15 iso-8859-15 ISO-8859-15 Œuvre 'Œuvre, Ÿ, š, ž et 20 €'
make ibm866 IBM866 IBM866 Привет 'Съешь же ещё этих мягких французских булок'
make ibm855 IBM855 IBM855 Привет 'Съешь же ещё этих мягких французских булок'
make maccyrillic MacCyrillic MAC-CYRILLIC Привет 'Съешь же ещё этих мягких французских булок'
make tis-620 TIS-620 TIS-620 สวัสดี 'เป็นมนุษย์สุดประเสริฐเลิศคุณค่า'
make euc-kr euc-kr EUC-KR 한국어 '다람쥐 헌 쳇바퀴에 타고파'
