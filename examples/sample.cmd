# sample.pdf was made from sample.html (which shows sample.png) with LibreOffice:
soffice --headless --convert-to pdf:writer_web_pdf_Export sample.html
